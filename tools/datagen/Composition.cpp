#include "Composition.h"

#include "Instruments.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace datagen {

namespace {

enum Channel : int {
    kKickChannel,
    kSnareChannel,
    kHatChannel,
    kPercussionChannel,
    kHitChannel,
    kBassChannel,
    kPadChannel1,
    kPadChannel2,
    kPadChannel3,
    kLeadChannel,
    kArpChannel,
    kStabChannel,
    kEffectChannel,
    kBellChannel,
    kCrashChannel,
    kEchoChannel,
};

constexpr std::uint8_t kPanEffect = 0x08;
constexpr std::uint8_t kVolumeSlideEffect = 0x0A;

struct Chord {
    int root;   // semitone, 0 = C
    bool minor;
};

constexpr Chord Dm{2, true}, Bb{10, false}, F{5, false}, C{0, false}, Gm{7, true}, A{9, false}, Am{9, true},
    Eb{3, false};

int chordTone(const Chord& chord, int index) {
    static const int minorSteps[] = {0, 3, 7};
    static const int majorSteps[] = {0, 4, 7};
    int octave = index >= 0 ? index / 3 : -((-index + 2) / 3);
    int step = index - octave * 3;
    return chord.root + (chord.minor ? minorSteps[step] : majorSteps[step]) + octave * 12;
}

// Note number of semitone `semitone` above C of `octave` (may run into other octaves).
int noteAt(int octave, int semitone) { return octave * 12 + semitone + 1; }

class Score {
public:
    explicit Score(int rows) : pattern(rows, kChannelCount) {}
    int rows() const { return pattern.rows; }

    void note(int row, int channel, int note, int instrument, int volume, int effect = 0, int parameter = 0) {
        if (row < 0 || row >= pattern.rows)
            return;
        XmNote& cell = pattern.at(row, channel);
        cell.note = static_cast<std::uint8_t>(note);
        cell.instrument = static_cast<std::uint8_t>(instrument);
        // Four fifths of the written level: headroom for sixteen channels at the show's
        // amplification (one and a half times libxmp's default volume).
        int level = (volume > 64 ? 64 : volume) * 4 / 5;
        cell.volume = static_cast<std::uint8_t>(0x10 + level);
        cell.effect = static_cast<std::uint8_t>(effect);
        cell.parameter = static_cast<std::uint8_t>(parameter);
    }
    void keyOff(int row, int channel) {
        if (row < 0 || row >= pattern.rows)
            return;
        XmNote& cell = pattern.at(row, channel);
        cell = XmNote{};
        cell.note = XmNote::keyOff;
    }
    void effect(int row, int channel, int effect, int parameter) {
        if (row < 0 || row >= pattern.rows)
            return;
        XmNote& cell = pattern.at(row, channel);
        cell.effect = static_cast<std::uint8_t>(effect);
        cell.parameter = static_cast<std::uint8_t>(parameter);
    }
    XmPattern take() { return std::move(pattern); }

private:
    XmPattern pattern;
};

// A melody written as tokens, one per `step` rows: a note such as "A4", "Bb4" or "C#5",
// "-" to hold, "." for a key off.
void melody(Score& score, int channel, int instrument, int volume, int step, const std::string& text, int startRow = 0,
            int pan = -1) {
    static const char names[] = {'C', 'D', 'E', 'F', 'G', 'A', 'B'};
    static const int semitones[] = {0, 2, 4, 5, 7, 9, 11};
    int row = startRow;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ' || text[i] == '|') {
            ++i;
            continue;
        }
        std::size_t end = text.find(' ', i);
        if (end == std::string::npos)
            end = text.size();
        std::string token = text.substr(i, end - i);
        i = end;
        if (token == ".") {
            score.keyOff(row, channel);
        } else if (token != "-") {
            int semitone = -1;
            for (int k = 0; k < 7; ++k)
                if (token[0] == names[k])
                    semitone = semitones[k];
            if (semitone < 0)
                throw std::logic_error("bad note " + token);
            std::size_t digit = 1;
            if (token[1] == '#') {
                ++semitone;
                digit = 2;
            } else if (token[1] == 'b') {
                --semitone;
                digit = 2;
            }
            int octave = token[digit] - '0';
            if (pan >= 0)
                score.note(row, channel, noteAt(octave, semitone), instrument, volume, kPanEffect, pan);
            else
                score.note(row, channel, noteAt(octave, semitone), instrument, volume);
        }
        row += step;
    }
}

// The chords of an order, evenly spread over its rows.
struct Harmony {
    std::vector<Chord> chords;
    const Chord& at(int row, int rows) const {
        int index = row * static_cast<int>(chords.size()) / rows;
        return chords[static_cast<std::size_t>(index)];
    }
    int span(int rows) const { return rows / static_cast<int>(chords.size()); }
};

void pads(Score& score, const Harmony& harmony, int instrument, int volume, int octave = 4) {
    int span = harmony.span(score.rows());
    for (int row = 0; row < score.rows(); row += span) {
        const Chord& chord = harmony.at(row, score.rows());
        score.note(row, kPadChannel1, noteAt(octave - 1, chordTone(chord, 0)) , instrument, volume, kPanEffect, 0x60);
        score.note(row, kPadChannel2, noteAt(octave - 1, chordTone(chord, 1)), instrument, volume, kPanEffect, 0xA0);
        score.note(row, kPadChannel3, noteAt(octave - 1, chordTone(chord, 2)), instrument, volume, kPanEffect, 0x80);
    }
}

// Bass on the chord root: `pattern` has one character per row: 'R' root, 'O' octave up,
// 'F' fifth, '.' key off, anything else nothing.
void bassLine(Score& score, const Harmony& harmony, int instrument, int volume, const std::string& pattern) {
    for (int row = 0; row < score.rows(); ++row) {
        char c = pattern[static_cast<std::size_t>(row) % pattern.size()];
        const Chord& chord = harmony.at(row, score.rows());
        int root = chord.root > 6 ? chord.root - 12 : chord.root;
        if (c == 'R')
            score.note(row, kBassChannel, noteAt(2, root), instrument, volume);
        else if (c == 'O')
            score.note(row, kBassChannel, noteAt(3, root), instrument, volume - 6);
        else if (c == 'F')
            score.note(row, kBassChannel, noteAt(2, root + 7), instrument, volume - 4);
        else if (c == '.')
            score.keyOff(row, kBassChannel);
    }
}

// Arpeggio over chord tones, one note every `step` rows, alternating left and right.
void arpeggio(Score& score, const Harmony& harmony, int instrument, int volume, int step, int octave,
              const std::vector<int>& order, int channel = kArpChannel, int from = 0, int to = -1) {
    if (to < 0)
        to = score.rows();
    int count = 0;
    for (int row = from; row < to; row += step, ++count) {
        const Chord& chord = harmony.at(row, score.rows());
        int index = order[static_cast<std::size_t>(count) % order.size()];
        int pan = (count & 1) ? 0xC8 : 0x38;
        int note = noteAt(octave, chordTone(chord, index));
        // High chord tones fold down an octave: above C-7 the plucks and bells only whistle.
        while (note > noteAt(7, 0))
            note -= 12;
        score.note(row, channel, note, instrument, volume, kPanEffect, pan);
    }
}

// Drum pattern: one character per row, repeated: 'x' loud, 'o' soft, anything else nothing.
void drums(Score& score, int channel, int instrument, int loud, int soft, const std::string& pattern, int from = 0,
           int to = -1) {
    if (to < 0)
        to = score.rows();
    for (int row = from; row < to; ++row) {
        char c = pattern[static_cast<std::size_t>(row) % pattern.size()];
        if (c == 'x')
            score.note(row, channel, noteAt(4, 0), instrument, loud);
        else if (c == 'o')
            score.note(row, channel, noteAt(4, 0), instrument, soft);
    }
}

// The struck hit on every beat that kicks the swirl.
void beatHits(Score& score, int volume) {
    for (int row = 0; row < score.rows(); row += 4)
        score.note(row, kHitChannel, noteAt(4, (row % 16 == 0) ? 0 : 5), kMetalHit, (row % 16 == 0) ? volume : volume - 10);
}

// A lead with a quieter, later copy on the other side.
void leadWithEcho(Score& score, int instrument, int volume, int step, const std::string& text) {
    melody(score, kLeadChannel, instrument, volume, step, text, 0, 0x58);
    melody(score, kEchoChannel, instrument, volume * 2 / 5, step, text, 3, 0xB0);
}

void crashAt(Score& score, int row, int volume = 44) { score.note(row, kCrashChannel, noteAt(4, 0), kCrash, volume); }

// A reverse cymbal that swells into row `row` (it is about 17 rows long).
void swellInto(Score& score, int row) { score.note(row - 17, kEffectChannel, noteAt(4, 0), kReverseCymbal, 40); }

void riserInto(Score& score, int row) { score.note(row - 34, kEffectChannel, noteAt(4, 0), kRiser, 44); }

void snareRoll(Score& score, int from, int to) {
    for (int row = from; row < to; ++row) {
        if (row >= from + (to - from) / 2 || (row & 1) == 0)
            score.note(row, kSnareChannel, noteAt(4, 0), kSnare, 20 + 28 * (row - from) / (to - from));
    }
}

void tomFill(Score& score, int from) {
    const int notes[] = {7, 4, 2, 0};
    for (int k = 0; k < 4; ++k)
        score.note(from + k * 2, kPercussionChannel, noteAt(4, notes[k]), kTom, 44);
}

const std::string kFourOnFloor = "x...x...x...x...";
const std::string kBackbeat = "....x.......x...";
const std::string kOffHats = "..x...x...x...x.";
const std::string kSixteenthHats = "x.o.x.o.x.o.x.oo";
const std::string kBreakKick = "x.........x.....x.x.......x.....";
const std::string kBreakSnare = "....x.......x..o....x.......x.o.";
const std::string kDrivingBass = "R.RO.RR.R.RO.RFO";
const std::string kPulseBass = "R.R.R.R.R.R.R.R.";

// --- melodies (D minor) ------------------------------------------------------------------

const char* const kThemeA[4] = {
    "A4 - - - D5 - C5 - A4 - - - G4 - F4 - F4 - - - Bb4 - A4 - F4 - - - D4 - . -",
    "C5 - - - A4 - C5 - F5 - - - E5 - C5 - E5 - - - D5 - C5 - G4 - - - - - . -",
    "A4 - - - D5 - C5 - A4 - - - G4 - F4 - F4 - - - Bb4 - A4 - D5 - - - F5 - . -",
    "Bb4 - - - D5 - G5 - F5 - - - D5 - Bb4 - C#5 - - - E5 - A5 - G5 - F5 - E5 - C#5 -",
};

const char* const kThemeB[4] = {
    "D5 - - F5 - - E5 - D5 - - - C5 - . -",
    "C5 - - A4 - - C5 - F5 - - - E5 - . -",
    "D5 - - Bb4 - - D5 - G5 - - - F5 - E5 -",
    "F5 - - E5 - - D5 - A4 - - - - - . -",
};

const char* const kThemeC[6] = {
    "D5 - - - - - E5 F5 A5 - - - G5 - F5 - E5 - - - D5 - E5 - F5 - - - . - - -",
    "F5 - - - - - D5 - Bb5 - - - A5 - G5 - F5 - - - D5 - F5 - G5 - - - . - - -",
    "A5 - - - - - G5 - F5 - - - C5 - F5 - A5 - - - C6 - Bb5 - A5 - - - . - - -",
    "G5 - - - - - E5 - C5 - - - E5 - G5 - C6 - - - Bb5 - A5 - G5 - - - . - - -",
    "Bb5 - - - A5 - G5 - D5 - - - G5 - Bb5 - D6 - - - C6 - Bb5 - A5 - G5 - F5 -",
    "E5 - - - - - C#5 - A4 - - - C#5 - E5 - A5 - - - G5 - F5 - E5 - - - - - - -",
};

// --- sections ----------------------------------------------------------------------------

Harmony driveHarmony(int order) {
    switch (order % 4) {
    case 1: return {{Dm, Bb}};
    case 2: return {{F, C}};
    case 3: return {{Dm, Bb}};
    default: return {{Gm, A}};
    }
}

XmPattern intro() {
    Score score(64);
    Harmony harmony{{Dm}};
    score.note(0, kPadChannel1, noteAt(3, 2), kWarmPad, 20, kPanEffect, 0x60);
    score.note(0, kPadChannel2, noteAt(3, 9), kWarmPad, 18, kPanEffect, 0xA0);
    score.note(16, kPadChannel3, noteAt(4, 5), kGlassPad, 16, kPanEffect, 0x80);
    score.note(0, kBassChannel, noteAt(2, 2), kSubBass, 20);
    // The rise: the pads grow over the first seven seconds.
    for (int row = 8; row < 56; row += 4) {
        score.effect(row, kPadChannel1, kVolumeSlideEffect, 0x10);
        score.effect(row, kPadChannel2, kVolumeSlideEffect, 0x10);
        score.effect(row, kBassChannel, kVolumeSlideEffect, 0x10);
    }
    melody(score, kBellChannel, kGlassBell, 26, 8, "A5 - D6 - - F5 - E5", 0);
    arpeggio(score, harmony, kPiano, 20, 2, 4, {0, 1, 2, 3, 2, 1}, kArpChannel, 40, 64);
    riserInto(score, 64);
    return score.take();
}

XmPattern drive(int order) {
    Score score(64);
    Harmony harmony = driveHarmony(order);
    drums(score, kKickChannel, kKick, 60, 50, kFourOnFloor);
    beatHits(score, 44);
    bassLine(score, harmony, kBass, 46, kDrivingBass);
    pads(score, harmony, kWarmPad, 26);
    if (order >= 2)
        drums(score, kHatChannel, kClosedHat, 30, 18, order >= 4 ? kSixteenthHats : kOffHats);
    if (order >= 3) {
        drums(score, kSnareChannel, kClap, 42, 30, kBackbeat);
        arpeggio(score, harmony, kPluck, 26, 2, 5, {0, 1, 2, 3, 1, 2, 0, 3});
    }
    if (order >= 4)
        leadWithEcho(score, order >= 6 ? kStringLead : kLead, 40, 2, kThemeA[(order - 4) % 4]);
    if (order >= 6)
        arpeggio(score, harmony, kBell, 18, 8, 5, {2, 3, 4, 3}, kBellChannel);
    if (order == 1 || order == 5)
        crashAt(score, 0);
    if (order == 8) {
        snareRoll(score, 32, 64);
        riserInto(score, 64);
    } else if (order % 2 == 1) {
        swellInto(score, 64);
    } else {
        tomFill(score, 56);
    }
    return score.take();
}

// The stabs that make the first grid movie jump: 19, 21 and 22 step back a few frames,
// 20, 23 and 24 leap to other places of the movie.
XmPattern stabs(int order) {
    Score score(64);
    Harmony harmony{{Dm, Dm, Bb, C}};
    if (order == 11)
        harmony = {{Gm, Gm, A, A}};
    drums(score, kKickChannel, kKick, 60, 50, kBreakKick);
    drums(score, kSnareChannel, kSnare, 46, 26, kBreakSnare);
    drums(score, kHatChannel, kClosedHat, 26, 16, "x.o.x.oox.o.x.o.");
    bassLine(score, harmony, kReeseBass, 46, "R.....R...R.....R.....O...R.....");
    const int rows[] = {0, 6, 12, 16, 22, 28, 32, 38, 44, 48, 54, 60};
    const int instruments[] = {kBrassHit, kStabMinor, kBrightStab, kOrchestraHit, kStabMinor, kZap,
                               kBigHit, kBrightStab, kStabMinor, kOrchestraHit, kBrightStab, kStabMinor};
    for (int k = 0; k < 12; ++k) {
        int row = rows[k];
        int instrument = instruments[k];
        // The last order of the section keeps the big leaps for its first half.
        if (order == 13 && row >= 24)
            instrument = (k & 1) ? kStabMinor : kBrightStab;
        if (order == 10 && k == 6)
            instrument = kBigHit;
        const Chord& chord = harmony.at(row, 64);
        int root = chord.root > 6 ? chord.root - 12 : chord.root;
        score.note(row, kStabChannel, noteAt(4, root + (chord.minor ? 0 : 0)), instrument, 46, kPanEffect,
                   (k & 1) ? 0x50 : 0xB0);
    }
    pads(score, harmony, kChoir, 16);
    if (order >= 11)
        leadWithEcho(score, kLead, 34, 4, order == 11 ? "D5 - - - F5 - - E5 - D5 - - A4 - . -"
                                                        : "F5 - - - E5 - - D5 - C5 - - A4 - . -");
    if (order == 9)
        crashAt(score, 0, 50);
    if (order == 13)
        riserInto(score, 64);
    return score.take();
}

XmPattern flightBreak(int order) {
    Score score(64);
    Harmony harmony = order % 2 == 0 ? Harmony{{Bb, F}} : Harmony{{Gm, Dm}};
    pads(score, harmony, kGlassPad, 17);
    score.note(0, kBassChannel, noteAt(2, harmony.chords[0].root > 6 ? harmony.chords[0].root - 12 : harmony.chords[0].root),
               kSubBass, 34);
    score.note(32, kBassChannel, noteAt(2, harmony.chords[1].root > 6 ? harmony.chords[1].root - 12 : harmony.chords[1].root),
               kSubBass, 34);
    leadWithEcho(score, kSoftLead, 38, 4, kThemeB[(order - 14) % 4]);
    arpeggio(score, harmony, kGlassBell, 18, 4, 5, {0, 2, 1, 3});
    if (order >= 16)
        drums(score, kPercussionChannel, kShaker, 22, 14, "..x...x...x...xo");
    if (order == 14) {
        score.note(0, kEffectChannel, noteAt(4, 0), kImpact, 50);
        crashAt(score, 0, 40);
    }
    return score.take();
}

XmPattern warpBuild(int order) {
    Score score(64);
    Harmony harmony = order % 2 == 0 ? Harmony{{Dm, Bb}} : Harmony{{Gm, A}};
    pads(score, harmony, kChoir, 22);
    bassLine(score, harmony, kReeseBass, 44, kPulseBass);
    arpeggio(score, harmony, kPluck, 22, 1, 5, {0, 1, 2, 3, 2, 1, 0, 1});
    if (order >= 19)
        drums(score, kHatChannel, kClosedHat, 26, 16, kOffHats);
    if (order >= 20) {
        drums(score, kKickChannel, kKick, 58, 50, kFourOnFloor);
        drums(score, kSnareChannel, kClap, 38, 30, kBackbeat);
    }
    if (order == 18) {
        score.note(0, kEffectChannel, noteAt(4, 0), kImpact, 44);
        crashAt(score, 0, 36);
    }
    if (order == 21) {
        swellInto(score, 48);
        crashAt(score, 48, 40);
        snareRoll(score, 48, 64);
    }
    return score.take();
}

XmPattern streams(int order) {
    Score score(64);
    Harmony harmony = driveHarmony(order - 21);
    drums(score, kKickChannel, kKick, 60, 50, kFourOnFloor);
    drums(score, kSnareChannel, kClap, 42, 30, kBackbeat);
    drums(score, kHatChannel, kClosedHat, 30, 18, kSixteenthHats);
    drums(score, kPercussionChannel, kOpenHat, 22, 16, "..x...x...x...x.");
    bassLine(score, harmony, kBass, 46, kDrivingBass);
    pads(score, harmony, kWarmPad, 24);
    arpeggio(score, harmony, kPluck, 24, 1, 5, {0, 1, 2, 3, 4, 3, 2, 1});
    leadWithEcho(score, kLead, 40, 2, kThemeA[(order - 22) % 4]);
    if (order == 22)
        crashAt(score, 0);
    if (order == 24) {
        riserInto(score, 64);
        snareRoll(score, 48, 64);
    }
    return score.take();
}

XmPattern lens(int order) {
    Score score(64);
    Harmony harmony = order % 2 == 1 ? Harmony{{Bb, Gm}} : Harmony{{Dm, A}};
    drums(score, kKickChannel, kKick, 56, 46, "x.........x.....................");
    drums(score, kSnareChannel, kSnare, 40, 28, "................x...............");
    drums(score, kHatChannel, kClosedHat, 22, 14, "x.o.x.o.x.o.x.o.");
    drums(score, kPercussionChannel, kRide, 18, 12, "x...x...x...x...");
    bassLine(score, harmony, kSubBass, 40, "R.......R.....F.R.......R.....O.");
    pads(score, harmony, kGlassPad, 24);
    arpeggio(score, harmony, kGlassBell, 22, 2, 5, {0, 2, 4, 3, 1, 2, 3, 5});
    arpeggio(score, harmony, kBell, 16, 8, 5, {0, 1, 2, 1}, kBellChannel);
    leadWithEcho(score, kSoftLead, 36, 4, kThemeB[(order - 25 + 2) % 4]);
    crashAt(score, 0, 36);
    if (order == 28) {
        swellInto(score, 48);
        tomFill(score, 56);
    }
    return score.take();
}

XmPattern fractal(int order) {
    Score score(64);
    static const Chord chords[6] = {Dm, Bb, F, C, Gm, A};
    int index = order - 29;
    Harmony harmony{{chords[index]}};
    pads(score, harmony, kWarmPad, 24);
    score.note(0, kStabChannel, noteAt(3, chords[index].root), kChoir, 22, kPanEffect, 0x80);
    bassLine(score, harmony, kBass, 44, order >= 31 ? kDrivingBass : "R.......R.......R.......R.....O.");
    arpeggio(score, harmony, kPluck, 24, 1, 5, {0, 1, 2, 3, 2, 1, 2, 3});
    if (order >= 30)
        drums(score, kHatChannel, kClosedHat, 28, 18, kSixteenthHats);
    if (order >= 31) {
        drums(score, kKickChannel, kKick, 60, 50, kFourOnFloor);
        drums(score, kSnareChannel, kClap, 40, 30, kBackbeat);
        leadWithEcho(score, kStringLead, 40, 2, kThemeC[index]);
    } else {
        melody(score, kBellChannel, kGlassBell, 26, 8, index == 0 ? "D6 - A5 - F5 - E5 -" : "D6 - Bb5 - F5 - D5 -");
    }
    crashAt(score, 0, 40);
    if (order == 34)
        snareRoll(score, 48, 64);
    return score.take();
}

XmPattern lightBreath(int order) {
    if (order == kLongOrder) {
        Score score(kLongOrderRows);
        Harmony harmony{{Bb, C}};
        drums(score, kKickChannel, kKick, 56, 46, "x.....x...x.....", 0, 64);
        drums(score, kSnareChannel, kSnare, 40, 26, "....x.......x..o", 0, 64);
        drums(score, kHatChannel, kClosedHat, 26, 16, kSixteenthHats, 0, 64);
        bassLine(score, harmony, kReeseBass, 42, "R.....R...R.....");
        const int rows[] = {0, 6, 12, 16, 22, 28, 32, 38, 44, 48, 54, 60};
        for (int k = 0; k < 12; ++k) {
            const Chord& chord = harmony.at(rows[k], kLongOrderRows);
            score.note(rows[k], kStabChannel, noteAt(4, chordTone(chord, k % 3)), (k % 4 == 0) ? kPiano : kPluck, 40,
                       kPanEffect, (k & 1) ? 0x50 : 0xB0);
        }
        pads(score, harmony, kWarmPad, 20);
        crashAt(score, 0, 44);
        riserInto(score, 72);
        snareRoll(score, 64, 72);
        // The light opens at row 72.
        score.note(72, kEffectChannel, noteAt(4, 0), kImpact, 40);
        crashAt(score, 72, 44);
        melody(score, kBellChannel, kGlassBell, 28, 2, "C6 - G5 - E5 -", 72);
        return score.take();
    }
    Score score(64);
    Harmony harmony{{F, C}};
    pads(score, harmony, kChoir, 26);
    score.note(0, kPadChannel1, noteAt(4, 5), kGlassPad, 22, kPanEffect, 0x40);
    arpeggio(score, harmony, kGlassBell, 20, 4, 5, {0, 1, 2, 3, 4, 3, 2, 1});
    score.note(0, kBassChannel, noteAt(2, 5), kSubBass, 34);
    score.note(32, kBassChannel, noteAt(2, 0), kSubBass, 34);
    riserInto(score, 64);
    snareRoll(score, 48, 64);
    return score.take();
}

XmPattern landscape(int order) {
    Score score(64);
    Harmony harmony = driveHarmony(order - 36);
    int from = 0;
    if (order == 37) {
        // Three flashes of light at rows 0, 4 and 8.
        for (int row = 0; row <= 8; row += 4) {
            score.note(row, kStabChannel, noteAt(4, 2), kFlashHit, 50, kPanEffect, 0x80);
            crashAt(score, row, 36 + row);
        }
        score.note(0, kEffectChannel, noteAt(4, 0), kImpact, 48);
        from = 16;
    }
    if (order == 41) {
        score.note(0, kStabChannel, noteAt(4, 2), kFlashHit, 50, kPanEffect, 0x80);
        score.note(0, kEffectChannel, noteAt(4, 0), kImpact, 44);
        crashAt(score, 0, 48);
    }
    drums(score, kKickChannel, kKick, 60, 50, kFourOnFloor, from);
    drums(score, kSnareChannel, kClap, 42, 30, kBackbeat, from);
    drums(score, kHatChannel, kClosedHat, 30, 18, kSixteenthHats, from);
    bassLine(score, harmony, kBass, 46, kDrivingBass);
    pads(score, harmony, kWarmPad, 24);
    arpeggio(score, harmony, kPluck, 24, 1, 5, {0, 2, 1, 3, 2, 4, 3, 1}, kArpChannel, from);
    if (order >= 38)
        leadWithEcho(score, kLead, 40, 2, kThemeA[(order - 38) % 4]);
    if (order >= 39)
        drums(score, kPercussionChannel, kOpenHat, 20, 14, "..x...x...x...x.");
    if (order == 42) {
        swellInto(score, 48);
        crashAt(score, 48, 44);
    }
    return score.take();
}

XmPattern climax(int order) {
    Score score(64);
    static const Chord chords[6] = {Dm, Bb, F, C, Gm, A};
    int index = (order - 43) % 6;
    Harmony harmony{{chords[index]}};
    drums(score, kKickChannel, kKick, 60, 50, kFourOnFloor);
    drums(score, kSnareChannel, kClap, 42, 30, kBackbeat);
    drums(score, kHatChannel, kClosedHat, 30, 18, kSixteenthHats);
    drums(score, kPercussionChannel, kRide, 20, 14, "x...x...x...x...");
    bassLine(score, harmony, kBass, 46, kDrivingBass);
    pads(score, harmony, kWarmPad, 24);
    arpeggio(score, harmony, kPluck, 24, 1, 5, {0, 1, 2, 3, 4, 3, 2, 1});
    arpeggio(score, harmony, kBell, 18, 4, 5, {0, 2, 1, 2}, kBellChannel);
    leadWithEcho(score, kStringLead, 42, 2, kThemeC[index]);
    if (order == 43)
        crashAt(score, 0, 48);
    if (order == 46)
        crashAt(score, 0, 40);
    if (order == 48) {
        riserInto(score, 64);
        snareRoll(score, 40, 64);
    }
    return score.take();
}

// The finale loops from order 49: it ends on A and turns back to D minor.
XmPattern finale(int order) {
    Score score(64);
    static const Harmony harmonies[5] = {{{Dm, Bb}}, {{Gm, A}}, {{Dm, Bb}}, {{Eb, F}}, {{Gm, A}}};
    const Harmony& harmony = harmonies[order - 49];
    drums(score, kKickChannel, kKick, 60, 50, kFourOnFloor);
    drums(score, kSnareChannel, kClap, 42, 30, kBackbeat);
    drums(score, kHatChannel, kClosedHat, 28, 18, kSixteenthHats);
    bassLine(score, harmony, kBass, 46, kDrivingBass);
    pads(score, harmony, kChoir, 24);
    arpeggio(score, harmony, kPluck, 22, 1, 5, {0, 1, 2, 3, 2, 1, 2, 3});
    arpeggio(score, harmony, kGlassBell, 16, 8, 5, {0, 1, 2, 1}, kBellChannel);
    static const char* const lines[5] = {
        "A5 - - - D6 - C6 - A5 - - - G5 - F5 - F5 - - - Bb5 - A5 - F5 - - - D5 - . -",
        "Bb5 - - - D6 - G6 - F6 - - - D6 - Bb5 - C#6 - - - E6 - A6 - G6 - F6 - E6 - C#6 -",
        "D6 - - - - - E6 F6 A6 - - - G6 - F6 - F6 - - - D6 - Bb5 - D6 - - - . - - -",
        "G5 - - - Bb5 - Eb6 - D6 - - - Bb5 - G5 - A5 - - - C6 - F6 - E6 - - - C6 - . -",
        "D6 - - - Bb5 - G5 - Bb5 - - - D6 - G6 - E6 - - - - - C#6 - A5 - - - - - . -",
    };
    leadWithEcho(score, kStringLead, 40, 2, lines[order - 49]);
    if (order == 49 || order == 51) {
        crashAt(score, 0, 48);
        score.note(0, kEffectChannel, noteAt(4, 0), kImpact, order == 49 ? 44 : 30);
    }
    if (order == 53)
        swellInto(score, 64);
    return score.take();
}

XmPattern patternFor(int order) {
    if (order == 0) return intro();
    if (order <= 8) return drive(order);
    if (order <= 13) return stabs(order);
    if (order <= 17) return flightBreak(order);
    if (order <= 21) return warpBuild(order);
    if (order <= 24) return streams(order);
    if (order <= 28) return lens(order);
    if (order <= 34) return fractal(order);
    if (order <= 36) return lightBreath(order);
    if (order <= 42) return landscape(order);
    if (order <= 48) return climax(order);
    return finale(order);
}

} // namespace

XmModule composeModule() {
    XmModule module;
    module.name = "atbia3";
    module.trackerName = "velmora-data";
    module.channels = kChannelCount;
    module.linearFrequencies = true;
    module.speed = 6;
    module.bpm = 128;
    module.restartPosition = kRestartOrder;
    for (int order = 0; order < kOrderCount; ++order) {
        module.orders.push_back(static_cast<std::uint8_t>(order));
        module.patterns.push_back(patternFor(order));
    }
    module.instruments = buildInstruments();
    return module;
}

} // namespace datagen
