#include "Instruments.h"

#include "DetMath.h"
#include "Synth.h"

#include <cmath>
#include <string>

namespace datagen {

namespace {

// Looped sounds repeat every half second: every partial makes whole cycles in it, so their
// frequencies are multiples of 2 Hz.
constexpr std::int64_t kLoopFrames = kSampleRate / 2;

std::size_t frames(double seconds) { return static_cast<std::size_t>(seconds * kSampleRate); }

XmEnvelope sustainEnvelope(int attackTicks, int decayTicks, int sustainLevel, int releaseTicks) {
    XmEnvelope envelope;
    envelope.enabled = true;
    envelope.sustain = true;
    envelope.points = {{0, 0},
                       {static_cast<std::uint16_t>(attackTicks), 64},
                       {static_cast<std::uint16_t>(attackTicks + decayTicks), static_cast<std::uint16_t>(sustainLevel)},
                       {static_cast<std::uint16_t>(attackTicks + decayTicks + releaseTicks), 0}};
    envelope.sustainPoint = 2;
    return envelope;
}

XmInstrument instrument(const std::string& name, Signal signal, double frequency, bool looped, double peak,
                        std::uint8_t panning) {
    normalise(signal, peak);
    XmSample sample;
    sample.name = name;
    sample.sixteenBit = true;
    sample.data = toPcm(signal);
    if (looped) {
        sample.loop = XmLoop::Forward;
        sample.loopStart = 0;
        sample.loopLength = static_cast<std::uint32_t>(sample.data.size());
    }
    Tuning tuning = frequency > 0.0 ? tuningFor(frequency) : nativeTuning();
    sample.relativeNote = static_cast<std::int8_t>(tuning.relativeNote);
    sample.finetune = static_cast<std::int8_t>(tuning.finetune);
    sample.panning = panning;
    sample.volume = 64;
    XmInstrument result;
    result.name = name;
    result.samples.push_back(std::move(sample));
    return result;
}

// Renders a looped tone: `voice(sample)` is evaluated over a warm-up and one loop, and the
// loop is kept, so filters have settled into their periodic state.
template <typename Voice> Signal loopedTone(Voice voice) {
    const std::int64_t warmUp = kLoopFrames;
    Signal signal(static_cast<std::size_t>(kLoopFrames));
    for (std::int64_t i = 0; i < warmUp + kLoopFrames; ++i) {
        double value = voice(i);
        if (i >= warmUp)
            signal[static_cast<std::size_t>(i - warmUp)] = value;
    }
    return signal;
}

template <typename Voice> Signal oneShot(double seconds, Voice voice) {
    Signal signal(frames(seconds));
    for (std::size_t i = 0; i < signal.size(); ++i)
        signal[i] = voice(static_cast<std::int64_t>(i), static_cast<double>(i) / kSampleRate);
    fadeEdges(signal, 0.0005, 0.01);
    return signal;
}

// Cycles per loop for a frequency (whole multiples of 2 Hz).
std::int64_t cycles(double frequency) { return static_cast<std::int64_t>(frequency / 2.0 + 0.5); }

// --- drums -----------------------------------------------------------------------------------

Signal kick() {
    double phase = 0.0;
    NoiseSource noise(1);
    return oneShot(0.45, [&](std::int64_t, double t) {
        double frequency = 46.0 + 120.0 * decay(t, 0.035);
        phase += frequency / kSampleRate;
        double body = detSin(kTwoPi * phase) * decay(t, 0.16);
        double click = noise.next() * decay(t, 0.003) * 0.5;
        return detTanh(1.6 * body) + click;
    });
}

Signal boomKick() {
    double phase = 0.0;
    return oneShot(1.2, [&](std::int64_t, double t) {
        double frequency = 40.0 + 60.0 * decay(t, 0.05);
        phase += frequency / kSampleRate;
        return detTanh(2.0 * detSin(kTwoPi * phase) * decay(t, 0.45));
    });
}

Signal snare() {
    NoiseSource noise(2);
    StateVariableFilter filter;
    filter.set(5200.0, 0.2);
    double phase = 0.0;
    return oneShot(0.35, [&](std::int64_t, double t) {
        filter.process(noise.next());
        phase += (185.0 + 60.0 * decay(t, 0.02)) / kSampleRate;
        double tone = detSin(kTwoPi * phase) * decay(t, 0.05) * 0.8;
        double rattle = (filter.band() * 1.3 + filter.high() * 0.4) * decay(t, 0.11);
        return tone + rattle;
    });
}

Signal clap() {
    NoiseSource noise(5);
    StateVariableFilter filter;
    filter.set(1400.0, 0.45);
    return oneShot(0.4, [&](std::int64_t, double t) {
        filter.process(noise.next());
        double bursts = 0.0;
        for (int k = 0; k < 3; ++k) {
            double start = k * 0.011;
            if (t >= start)
                bursts += decay(t - start, 0.004);
        }
        double tail = t >= 0.022 ? decay(t - 0.022, 0.12) : 0.0;
        return filter.band() * (bursts + tail);
    });
}

Signal hat(double length, double time, std::uint32_t seed) {
    NoiseSource noise(seed);
    StateVariableFilter filter;
    filter.set(7500.0, 0.3);
    return oneShot(length, [&](std::int64_t i, double t) {
        // A metallic edge: square partials at inharmonic ratios under the noise.
        double metal = squareAt(i, 5413, kSampleRate, 0.5) + squareAt(i, 7919, kSampleRate, 0.5) +
                       squareAt(i, 6271, kSampleRate, 0.5);
        filter.process(noise.next() + metal * 0.25);
        return filter.high() * decay(t, time);
    });
}

Signal crash(double length, std::uint32_t seed) {
    NoiseSource noise(seed);
    StateVariableFilter filter;
    filter.set(6000.0, 0.1);
    return oneShot(length, [&](std::int64_t i, double t) {
        double metal = squareAt(i, 3301, kSampleRate, 0.5) + squareAt(i, 4513, kSampleRate, 0.5) +
                       squareAt(i, 5827, kSampleRate, 0.5) + squareAt(i, 7039, kSampleRate, 0.5);
        filter.process(noise.next() + metal * 0.18);
        return (filter.high() + 0.4 * filter.band()) * (decay(t, length * 0.35) * 0.8 + 0.2 * decay(t, 0.05));
    });
}

Signal tom() {
    double phase = 0.0;
    NoiseSource noise(16);
    return oneShot(0.5, [&](std::int64_t, double t) {
        phase += (95.0 + 70.0 * decay(t, 0.06)) / kSampleRate;
        return detSin(kTwoPi * phase) * decay(t, 0.18) + noise.next() * decay(t, 0.01) * 0.3;
    });
}

Signal ride() {
    return oneShot(1.4, [&](std::int64_t i, double t) {
        double partials = squareAt(i, 3157, kSampleRate, 0.5) * 0.5 + squareAt(i, 4481, kSampleRate, 0.5) * 0.4 +
                          sineAt(i, 5743, kSampleRate) * 0.6 + sineAt(i, 8923, kSampleRate) * 0.4;
        return partials * (decay(t, 0.5) * 0.7 + decay(t, 0.02) * 0.3);
    });
}

Signal shaker() {
    NoiseSource noise(18);
    StateVariableFilter filter;
    filter.set(9000.0, 0.2);
    return oneShot(0.12, [&](std::int64_t, double t) {
        filter.process(noise.next());
        double swell = clamp01(t / 0.015);
        return filter.high() * swell * decay(t, 0.03);
    });
}

Signal metalHit() {
    NoiseSource noise(33);
    StateVariableFilter filter;
    filter.set(2600.0, 0.6);
    return oneShot(0.6, [&](std::int64_t i, double t) {
        // Inharmonic partials of a struck bar, plus the strike.
        double bar = sineAt(i, 523, kSampleRate) * decay(t, 0.25) + sineAt(i, 1439, kSampleRate) * 0.6 * decay(t, 0.12) +
                     sineAt(i, 2819, kSampleRate) * 0.4 * decay(t, 0.06) + sineAt(i, 211, kSampleRate) * 0.8 * decay(t, 0.1);
        filter.process(noise.next());
        return bar + filter.band() * decay(t, 0.02) * 1.5;
    });
}

Signal impact() {
    NoiseSource noise(32);
    StateVariableFilter filter;
    double phase = 0.0;
    return oneShot(2.5, [&](std::int64_t, double t) {
        filter.set(200.0 + 3000.0 * decay(t, 0.15), 0.3);
        filter.process(noise.next());
        phase += (35.0 + 50.0 * decay(t, 0.2)) / kSampleRate;
        return detTanh(1.5 * detSin(kTwoPi * phase) * decay(t, 0.9)) + filter.low() * decay(t, 0.6) * 0.9;
    });
}

Signal riser() {
    NoiseSource noise(14);
    StateVariableFilter filter;
    const double length = 4.0;
    return oneShot(length, [&](std::int64_t, double t) {
        double progress = t / length;
        filter.set(300.0 + 7000.0 * progress * progress, 0.7);
        filter.process(noise.next());
        return filter.band() * progress * progress;
    });
}

Signal reverseCymbal() {
    Signal forward = crash(2.0, 29);
    Signal reversed(forward.rbegin(), forward.rend());
    fadeEdges(reversed, 0.05, 0.01);
    return reversed;
}

// --- tones -----------------------------------------------------------------------------------

Signal bass() {
    StateVariableFilter filter;
    filter.set(900.0, 0.35);
    const double base = 66.0;
    return loopedTone([&](std::int64_t i) {
        double saw = sawAt(i, cycles(base), kLoopFrames) * 0.6 + sawAt(i, cycles(base) + 1, kLoopFrames) * 0.4;
        double sub = sineAt(i, cycles(base), kLoopFrames);
        filter.process(saw);
        return filter.low() * 0.9 + sub * 0.6;
    });
}

Signal subBass() {
    return loopedTone([&](std::int64_t i) {
        return sineAt(i, cycles(66.0), kLoopFrames) + 0.15 * sineAt(i, cycles(132.0), kLoopFrames);
    });
}

Signal reeseBass() {
    StateVariableFilter filter;
    filter.set(700.0, 0.25);
    return loopedTone([&](std::int64_t i) {
        double saws = sawAt(i, cycles(66.0) - 1, kLoopFrames) + sawAt(i, cycles(66.0) + 1, kLoopFrames);
        filter.process(saws);
        return filter.low() + 0.5 * sineAt(i, cycles(66.0), kLoopFrames);
    });
}

// Detuned saws, lowpassed: a warm ensemble.
Signal warmPad() {
    StateVariableFilter filter;
    filter.set(1800.0, 0.15);
    const std::int64_t base = cycles(262.0);
    return loopedTone([&](std::int64_t i) {
        double sum = 0.0;
        for (int voice = -3; voice <= 3; ++voice)
            sum += sawAt(i, base + voice, kLoopFrames) * (voice == 0 ? 1.0 : 0.7);
        sum += sawAt(i, base * 2 + 1, kLoopFrames) * 0.3;
        filter.process(sum);
        return filter.low();
    });
}

Signal glassPad() {
    const std::int64_t base = cycles(262.0);
    return loopedTone([&](std::int64_t i) {
        return sineAt(i, base, kLoopFrames) + 0.6 * sineAt(i, base + 1, kLoopFrames) +
               0.35 * sineAt(i, base * 2 - 1, kLoopFrames) + 0.25 * sineAt(i, base * 3 + 1, kLoopFrames) +
               0.18 * sineAt(i, base * 4, kLoopFrames) + 0.1 * sineAt(i, base * 6 + 1, kLoopFrames);
    });
}

Signal choir() {
    StateVariableFilter formantA, formantB;
    formantA.set(700.0, 0.8);
    formantB.set(1150.0, 0.8);
    const std::int64_t base = cycles(262.0);
    return loopedTone([&](std::int64_t i) {
        double source = sawAt(i, base, kLoopFrames) + sawAt(i, base + 1, kLoopFrames) + sawAt(i, base - 1, kLoopFrames);
        formantA.process(source);
        formantB.process(source);
        return formantA.band() + 0.7 * formantB.band() + 0.1 * source;
    });
}

Signal lead() {
    StateVariableFilter filter;
    filter.set(3200.0, 0.3);
    const std::int64_t base = cycles(262.0);
    return loopedTone([&](std::int64_t i) {
        double tone = squareAt(i, base, kLoopFrames, 0.35) * 0.6 + sawAt(i, base + 1, kLoopFrames) * 0.5 +
                      sawAt(i, base * 2, kLoopFrames) * 0.15;
        filter.process(tone);
        return filter.low();
    });
}

Signal softLead() {
    const std::int64_t base = cycles(262.0);
    return loopedTone([&](std::int64_t i) {
        return sineAt(i, base, kLoopFrames) + 0.3 * sineAt(i, base * 2, kLoopFrames) +
               0.12 * sineAt(i, base * 3, kLoopFrames) + 0.05 * squareAt(i, base, kLoopFrames, 0.5);
    });
}

Signal stringLead() {
    StateVariableFilter filter;
    filter.set(4200.0, 0.2);
    const std::int64_t base = cycles(262.0);
    return loopedTone([&](std::int64_t i) {
        double tone = sawAt(i, base - 1, kLoopFrames) + sawAt(i, base, kLoopFrames) + sawAt(i, base + 1, kLoopFrames);
        filter.process(tone);
        return filter.low();
    });
}

Signal pluck() {
    StateVariableFilter filter;
    const double middleC = 261.6255653005986;
    double phase = 0.0;
    return oneShot(0.7, [&](std::int64_t, double t) {
        phase += middleC / kSampleRate;
        phase -= std::floor(phase);
        filter.set(500.0 + 6000.0 * decay(t, 0.06), 0.4);
        filter.process(2.0 * phase - 1.0);
        return filter.low() * decay(t, 0.25);
    });
}

// Two-operator FM: a bell when the ratio is inharmonic.
Signal fmBell(double ratio, double index, double time, double seconds) {
    const double middleC = 261.6255653005986;
    return oneShot(seconds, [&](std::int64_t, double t) {
        double modulator = detSin(kTwoPi * middleC * ratio * t) * index * decay(t, time * 0.5);
        return detSin(kTwoPi * middleC * t + modulator) * decay(t, time);
    });
}

Signal piano() {
    const double middleC = 261.6255653005986;
    return oneShot(1.5, [&](std::int64_t, double t) {
        double value = 0.0;
        for (int harmonic = 1; harmonic <= 6; ++harmonic)
            value += detSin(kTwoPi * middleC * harmonic * t * (1.0 + 0.0004 * harmonic)) / (harmonic * harmonic) *
                     decay(t, 0.9 / harmonic);
        return value * (1.0 - decay(t, 0.002));
    });
}

// A minor triad of saws (root, minor third, fifth) with a closing filter.
Signal chordStab(const double* ratios, int count, double cutoff, double time, double seconds, std::uint32_t seed) {
    const double middleC = 261.6255653005986;
    StateVariableFilter filter;
    NoiseSource noise(seed);
    std::vector<double> phases(static_cast<std::size_t>(count), 0.0);
    return oneShot(seconds, [&](std::int64_t, double t) {
        double sum = 0.0;
        for (int k = 0; k < count; ++k) {
            double& phase = phases[static_cast<std::size_t>(k)];
            phase += middleC * ratios[k] / kSampleRate;
            phase -= std::floor(phase);
            sum += 2.0 * phase - 1.0;
        }
        filter.set(200.0 + cutoff * decay(t, time), 0.3);
        filter.process(sum + noise.next() * 0.2 * decay(t, 0.01));
        return filter.low() * decay(t, time * 2.0);
    });
}

const double kMinorTriad[] = {1.0, 1.189207115, 1.498307077, 2.0};
const double kFifths[] = {1.0, 1.498307077, 2.0, 0.5};
const double kOctaves[] = {1.0, 2.0, 1.002, 0.5};

Signal orchestraHit() {
    Signal chord = chordStab(kMinorTriad, 4, 5000.0, 0.12, 0.7, 22);
    NoiseSource noise(23);
    StateVariableFilter filter;
    filter.set(2500.0, 0.3);
    double phase = 0.0;
    for (std::size_t i = 0; i < chord.size(); ++i) {
        double t = static_cast<double>(i) / kSampleRate;
        filter.process(noise.next());
        phase += (65.4 + 30.0 * decay(t, 0.03)) / kSampleRate;
        chord[i] += filter.band() * decay(t, 0.05) * 1.5 + detSin(kTwoPi * phase) * decay(t, 0.2) * 1.5;
    }
    fadeEdges(chord, 0.0005, 0.01);
    return chord;
}

Signal zap() {
    double phase = 0.0;
    return oneShot(0.3, [&](std::int64_t, double t) {
        phase += (1800.0 * decay(t, 0.04) + 120.0) / kSampleRate;
        phase -= std::floor(phase);
        return (phase < 0.5 ? 1.0 : -1.0) * decay(t, 0.09);
    });
}

Signal bigHit() {
    Signal chord = chordStab(kFifths, 4, 3000.0, 0.2, 1.2, 24);
    Signal boom = boomKick();
    for (std::size_t i = 0; i < chord.size() && i < boom.size(); ++i)
        chord[i] += boom[i] * 2.5;
    return chord;
}

} // namespace

std::vector<XmInstrument> buildInstruments() {
    std::vector<XmInstrument> list;
    auto add = [&](XmInstrument item) { list.push_back(std::move(item)); };
    const double peak = 0.95;
    const double middleC = 261.6255653005986;

    add(instrument("kick", kick(), 0.0, false, peak, 128));
    add(instrument("snare", snare(), 0.0, false, peak, 120));
    add(instrument("closed hat", hat(0.09, 0.025, 3), 0.0, false, peak, 170));
    add(instrument("open hat", hat(0.5, 0.16, 4), 0.0, false, peak, 160));
    add(instrument("clap", clap(), 0.0, false, peak, 136));
    {
        XmInstrument item = instrument("bass", bass(), 66.0, true, peak, 128);
        item.volumeEnvelope = sustainEnvelope(1, 6, 44, 3);
        add(item);
    }
    {
        XmInstrument item = instrument("sub bass", subBass(), 66.0, true, peak, 128);
        item.volumeEnvelope = sustainEnvelope(2, 2, 60, 4);
        add(item);
    }
    {
        XmInstrument item = instrument("warm pad", warmPad(), 262.0, true, peak, 128);
        item.volumeEnvelope = sustainEnvelope(40, 20, 48, 60);
        add(item);
    }
    {
        XmInstrument item = instrument("glass pad", glassPad(), 262.0, true, peak, 128);
        item.volumeEnvelope = sustainEnvelope(30, 30, 44, 70);
        add(item);
    }
    {
        XmInstrument item = instrument("lead", lead(), 262.0, true, peak, 128);
        item.volumeEnvelope = sustainEnvelope(1, 10, 50, 10);
        item.vibratoType = 0;
        item.vibratoSweep = 40;
        item.vibratoDepth = 4;
        item.vibratoRate = 12;
        add(item);
    }
    add(instrument("pluck", pluck(), middleC, false, peak, 100));
    add(instrument("bell", fmBell(3.5, 2.2, 0.9, 2.2), middleC, false, peak, 150));
    add(instrument("piano", piano(), middleC, false, peak, 110));
    add(instrument("riser", riser(), 0.0, false, peak, 128));
    add(instrument("crash", crash(2.2, 15), 0.0, false, peak, 100));
    add(instrument("tom", tom(), 0.0, false, peak, 90));
    add(instrument("ride", ride(), 0.0, false, peak, 175));
    add(instrument("shaker", shaker(), 0.0, false, peak, 80));
    add(instrument("minor stab", chordStab(kMinorTriad, 4, 4000.0, 0.08, 0.45, 19), middleC, false, peak, 110));
    add(instrument("brass hit", chordStab(kFifths, 3, 2500.0, 0.12, 0.6, 20), middleC, false, peak, 146));
    add(instrument("bright stab", chordStab(kOctaves, 3, 7000.0, 0.05, 0.35, 21), middleC, false, peak, 90));
    add(instrument("orchestra hit", orchestraHit(), middleC, false, peak, 128));
    add(instrument("zap", zap(), 0.0, false, peak, 166));
    add(instrument("big hit", bigHit(), middleC, false, peak, 128));
    {
        XmInstrument item = instrument("choir", choir(), 262.0, true, peak, 128);
        item.volumeEnvelope = sustainEnvelope(50, 20, 50, 60);
        add(item);
    }
    add(instrument("glass bell", fmBell(7.07, 1.4, 1.4, 3.0), middleC, false, peak, 150));
    {
        XmInstrument item = instrument("soft lead", softLead(), 262.0, true, peak, 128);
        item.volumeEnvelope = sustainEnvelope(6, 10, 52, 14);
        item.vibratoSweep = 60;
        item.vibratoDepth = 3;
        item.vibratoRate = 10;
        add(item);
    }
    {
        XmInstrument item = instrument("reese bass", reeseBass(), 66.0, true, peak, 128);
        item.volumeEnvelope = sustainEnvelope(2, 8, 50, 5);
        add(item);
    }
    add(instrument("reverse cymbal", reverseCymbal(), 0.0, false, peak, 128));
    {
        XmInstrument item = instrument("string lead", stringLead(), 262.0, true, peak, 128);
        item.volumeEnvelope = sustainEnvelope(4, 12, 50, 16);
        item.vibratoSweep = 50;
        item.vibratoDepth = 3;
        item.vibratoRate = 11;
        add(item);
    }
    add(instrument("boom kick", boomKick(), 0.0, false, peak, 128));
    add(instrument("impact", impact(), 0.0, false, peak, 128));
    add(instrument("metal hit", metalHit(), 0.0, false, peak, 140));
    add(instrument("flash hit", bigHit(), middleC, false, peak, 128));
    return list;
}

} // namespace datagen
