#pragma once
// Sound synthesis for the module's samples: oscillators, noise, filters and envelopes over
// doubles, rendered at one sample rate. Everything is deterministic (no library transcendental
// functions), so the module has the same bytes on every machine.

#include <cstdint>
#include <vector>

namespace datagen {

inline constexpr int kSampleRate = 44100;

using Signal = std::vector<double>;

// White noise in -1 .. 1 from a fixed seed.
class NoiseSource {
public:
    explicit NoiseSource(std::uint32_t seed) : state(seed * 2654435761u + 1u) {}
    double next();

private:
    std::uint32_t state;
};

// Two-pole state-variable filter (low, band and high outputs); cutoff in Hz, resonance 0 .. 1.
class StateVariableFilter {
public:
    void set(double cutoff, double resonance);
    // Filters one value; afterwards low(), band() and high() hold the three outputs.
    void process(double input);
    double low() const { return lowOut; }
    double band() const { return bandOut; }
    double high() const { return highOut; }

private:
    double frequency = 0.1;
    double damping = 1.0;
    double lowOut = 0.0, bandOut = 0.0, highOut = 0.0;
};

// Band-limited sawtooth and square from an exact phase: `cycles` whole cycles per `period`
// samples, so a looped region of `period` samples joins seamlessly.
double sawAt(std::int64_t sample, std::int64_t cycles, std::int64_t period);
double squareAt(std::int64_t sample, std::int64_t cycles, std::int64_t period, double width);
double sineAt(std::int64_t sample, std::int64_t cycles, std::int64_t period);

// Exponential decay: 1 at t = 0, 1/e at t = time.
double decay(double seconds, double time);

// Scales a signal so that its largest magnitude is `peak`.
void normalise(Signal& signal, double peak);
// Converts to 16-bit values (rounded, clipped).
std::vector<std::int16_t> toPcm(const Signal& signal);
// Linear fades over the first and last `seconds`, so a one-shot sample starts and ends at rest.
void fadeEdges(Signal& signal, double fadeIn, double fadeOut);

// Semitones (relative note and 1/128 finetune) that make a sample whose pitch is `frequency` Hz
// at kSampleRate sound as C-4 (261.63 Hz) when played at that note.
struct Tuning {
    int relativeNote = 0;
    int finetune = 0;
};
Tuning tuningFor(double frequency);
// The tuning that plays a sample at its own rate on C-4 (for drums).
Tuning nativeTuning();

} // namespace datagen
