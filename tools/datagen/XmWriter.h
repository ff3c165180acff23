#pragma once
// Writes extended-module (XM) files: header, order list with restart position, packed patterns
// of 1..256 rows, and instruments with delta-coded 8- or 16-bit samples and envelopes.
// Sample lengths, loop starts and loop lengths are given in sample frames; the writer converts
// them to the byte counts the file stores. Invalid modules throw std::invalid_argument.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// One cell of a pattern. Zero in a field means "empty".
struct XmNote {
    static constexpr uint8_t keyOff = 97;

    uint8_t note = 0;       // 1 = C-0 ... 96 = B-7, 97 = key off
    uint8_t instrument = 0; // 1-based
    uint8_t volume = 0;     // volume column byte: 0x10..0x50 sets volume 0..64, higher values are effects
    uint8_t effect = 0;     // effect type 0..35 (0 with a zero parameter is "no effect")
    uint8_t parameter = 0;

    // The note number of a semitone (0 = C .. 11 = B) in an octave (0..7).
    static constexpr uint8_t pitch(int octave, int semitone) {
        return static_cast<uint8_t>(octave * 12 + semitone + 1);
    }
    bool empty() const {
        return note == 0 && instrument == 0 && volume == 0 && effect == 0 && parameter == 0;
    }
};

// A pattern of `rows` rows, each with one note per channel.
struct XmPattern {
    XmPattern(int rows, int channels);

    XmNote& at(int row, int channel);
    const XmNote& at(int row, int channel) const;

    int rows;
    int channels;
    std::vector<XmNote> notes; // row-major, rows * channels
};

struct XmEnvelopePoint {
    uint16_t tick;
    uint16_t value; // 0..64
};

struct XmEnvelope {
    std::vector<XmEnvelopePoint> points; // at most 12, ticks ascending
    bool enabled = false;
    bool sustain = false;
    uint8_t sustainPoint = 0;
    bool loop = false;
    uint8_t loopStart = 0;
    uint8_t loopEnd = 0;
};

enum class XmLoop : uint8_t { None = 0, Forward = 1, PingPong = 2 };

struct XmSample {
    std::string name;
    bool sixteenBit = false;
    std::vector<int16_t> data; // one value per frame; -128..127 for 8-bit samples
    XmLoop loop = XmLoop::None;
    uint32_t loopStart = 0;  // frames
    uint32_t loopLength = 0; // frames
    uint8_t volume = 64;     // 0..64
    int8_t finetune = 0;     // -128..127, 1/128 semitone steps
    uint8_t panning = 128;   // 0 = left, 255 = right
    int8_t relativeNote = 0; // semitones added to the played note
};

struct XmInstrument {
    std::string name;
    std::vector<XmSample> samples;           // at most 16
    std::array<uint8_t, 96> sampleForNote{}; // index into samples for each of the 96 notes
    XmEnvelope volumeEnvelope;
    XmEnvelope panningEnvelope;
    uint8_t vibratoType = 0;
    uint8_t vibratoSweep = 0;
    uint8_t vibratoDepth = 0;
    uint8_t vibratoRate = 0;
    uint16_t fadeout = 0;
};

struct XmModule {
    std::string name;                    // up to 20 characters kept
    std::string trackerName = "velmora"; // up to 20 characters kept
    int channels = 4;                    // 1..32
    bool linearFrequencies = true;
    int speed = 6;                         // ticks per row, 1..31
    int bpm = 125;                         // 32..255
    std::vector<uint8_t> orders;           // pattern numbers, 1..256 entries
    int restartPosition = 0;               // order played after the last one
    std::vector<XmPattern> patterns;       // at most 256
    std::vector<XmInstrument> instruments; // at most 128
};

class XmWriter {
  public:
    // The complete file. Throws std::invalid_argument when the module cannot be written as XM.
    static std::vector<uint8_t> write(const XmModule& module);

    // Writes the file; throws std::runtime_error when it cannot be written.
    static void save(const XmModule& module, const std::string& path);
};
