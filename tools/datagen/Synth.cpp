#include "Synth.h"

#include "DetMath.h"

#include <cmath>

namespace datagen {

double NoiseSource::next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return static_cast<double>(state) * (2.0 / 4294967295.0) - 1.0;
}

void StateVariableFilter::set(double cutoff, double resonance) {
    double limited = cutoff < 20.0 ? 20.0 : (cutoff > kSampleRate * 0.2 ? kSampleRate * 0.2 : cutoff);
    frequency = 2.0 * detSin(kPi * limited / kSampleRate);
    damping = 2.0 * (1.0 - clamp01(resonance) * 0.95);
}

void StateVariableFilter::process(double input) {
    // Two passes per sample keep the filter stable up to a fifth of the sample rate.
    for (int pass = 0; pass < 2; ++pass) {
        lowOut += frequency * 0.5 * bandOut;
        highOut = input - lowOut - damping * bandOut;
        bandOut += frequency * 0.5 * highOut;
    }
}

namespace {

// Phase 0 .. 1 of the given sample, exact: the product stays below 2^63 for sample counts and
// cycle counts of sounds a few seconds long.
double phaseAt(std::int64_t sample, std::int64_t cycles, std::int64_t period) {
    return static_cast<double>((sample * cycles) % period) / static_cast<double>(period);
}

// Smooths the step of a saw or square over one sample on either side (polyBLEP).
double blep(double phase, double increment) {
    if (phase < increment) {
        double t = phase / increment;
        return t + t - t * t - 1.0;
    }
    if (phase > 1.0 - increment) {
        double t = (phase - 1.0) / increment;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

} // namespace

double sawAt(std::int64_t sample, std::int64_t cycles, std::int64_t period) {
    double phase = phaseAt(sample, cycles, period);
    double increment = static_cast<double>(cycles) / static_cast<double>(period);
    return 2.0 * phase - 1.0 - blep(phase, increment);
}

double squareAt(std::int64_t sample, std::int64_t cycles, std::int64_t period, double width) {
    double phase = phaseAt(sample, cycles, period);
    double increment = static_cast<double>(cycles) / static_cast<double>(period);
    double value = phase < width ? 1.0 : -1.0;
    value += blep(phase, increment);
    double shifted = phase - width;
    if (shifted < 0.0)
        shifted += 1.0;
    value -= blep(shifted, increment);
    return value;
}

double sineAt(std::int64_t sample, std::int64_t cycles, std::int64_t period) {
    return detSin(kTwoPi * phaseAt(sample, cycles, period));
}

double decay(double seconds, double time) { return detExp(-seconds / time); }

void normalise(Signal& signal, double peak) {
    double largest = 0.0;
    for (double v : signal)
        largest = std::fabs(v) > largest ? std::fabs(v) : largest;
    if (largest <= 0.0)
        return;
    for (double& v : signal)
        v *= peak / largest;
}

std::vector<std::int16_t> toPcm(const Signal& signal) {
    std::vector<std::int16_t> pcm(signal.size());
    for (std::size_t i = 0; i < signal.size(); ++i) {
        double scaled = std::floor(signal[i] * 32767.0 + 0.5);
        if (scaled > 32767.0)
            scaled = 32767.0;
        if (scaled < -32768.0)
            scaled = -32768.0;
        pcm[i] = static_cast<std::int16_t>(scaled);
    }
    return pcm;
}

void fadeEdges(Signal& signal, double fadeIn, double fadeOut) {
    std::size_t inCount = static_cast<std::size_t>(fadeIn * kSampleRate);
    std::size_t outCount = static_cast<std::size_t>(fadeOut * kSampleRate);
    for (std::size_t i = 0; i < inCount && i < signal.size(); ++i)
        signal[i] *= static_cast<double>(i) / inCount;
    for (std::size_t i = 0; i < outCount && i < signal.size(); ++i)
        signal[signal.size() - 1 - i] *= static_cast<double>(i) / outCount;
}

Tuning tuningFor(double frequency) {
    // Playing at C-4 with no transposition runs the sample at 8363 Hz.
    const double middleC = 261.6255653005986;
    double semitones = 12.0 * detLog(kSampleRate / 8363.0 * middleC / frequency) / detLog(2.0);
    double steps = std::floor(semitones * 128.0 + 0.5);
    int whole = static_cast<int>(std::floor(steps / 128.0));
    int fine = static_cast<int>(steps) - whole * 128;
    if (fine > 127) {
        fine -= 128;
        whole += 1;
    }
    return {whole, fine};
}

Tuning nativeTuning() { return tuningFor(261.6255653005986); }

} // namespace datagen
