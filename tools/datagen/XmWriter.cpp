#include "XmWriter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace {

// Sizes of the fixed file records, counted from their own size fields.
constexpr uint32_t headerSize = 20 + 256; // the song header after its size field's start
constexpr uint32_t patternHeaderSize = 9;
constexpr uint32_t emptyInstrumentHeaderSize = 29; // size, name, type, sample count
constexpr uint32_t instrumentHeaderSize = 263;     // ... plus sample header size, keymap, envelopes
constexpr uint32_t sampleHeaderSize = 40;
constexpr size_t maxEnvelopePoints = 12;

class ByteWriter {
  public:
    void u8(uint32_t value) { bytes.push_back(static_cast<uint8_t>(value)); }
    void u16(uint32_t value) {
        u8(value);
        u8(value >> 8);
    }
    void u32(uint32_t value) {
        u16(value);
        u16(value >> 16);
    }
    // A text field of fixed width, cut or padded with zeros.
    void text(const std::string& value, size_t width) {
        for (size_t i = 0; i < width; ++i)
            u8(i < value.size() ? static_cast<uint8_t>(value[i]) : 0);
    }
    void zeros(size_t count) { bytes.insert(bytes.end(), count, 0); }
    size_t size() const { return bytes.size(); }
    void patchU16(size_t at, uint32_t value) {
        bytes[at] = static_cast<uint8_t>(value);
        bytes[at + 1] = static_cast<uint8_t>(value >> 8);
    }

    std::vector<uint8_t> bytes;
};

void require(bool condition, const std::string& message) {
    if (!condition)
        throw std::invalid_argument("XM module: " + message);
}

void checkEnvelope(const XmEnvelope& envelope, const std::string& what) {
    require(envelope.points.size() <= maxEnvelopePoints, what + " has more than 12 points");
    for (size_t i = 1; i < envelope.points.size(); ++i)
        require(envelope.points[i].tick > envelope.points[i - 1].tick, what + " ticks must ascend");
    for (const XmEnvelopePoint& point : envelope.points)
        require(point.value <= 64, what + " value above 64");
    if (envelope.enabled)
        require(!envelope.points.empty(), what + " is enabled without points");
    size_t last = envelope.points.empty() ? 0 : envelope.points.size() - 1;
    require(!envelope.sustain || envelope.sustainPoint <= last, what + " sustain point out of range");
    require(!envelope.loop || (envelope.loopStart <= envelope.loopEnd && envelope.loopEnd <= last),
            what + " loop out of range");
}

void checkSample(const XmSample& sample, const std::string& what) {
    uint64_t frames = sample.data.size();
    require(frames * (sample.sixteenBit ? 2 : 1) <= 0xFFFFFFFFull, what + " is too long");
    if (!sample.sixteenBit) {
        for (int16_t value : sample.data)
            require(value >= -128 && value <= 127, what + " has an 8-bit value out of range");
    }
    if (sample.loop != XmLoop::None) {
        require(sample.loopLength > 0, what + " loops over zero frames");
        require(uint64_t(sample.loopStart) + sample.loopLength <= frames, what + " loop ends past its data");
    }
    require(sample.volume <= 64, what + " volume above 64");
}

void checkModule(const XmModule& module) {
    require(module.channels >= 1 && module.channels <= 32, "channel count must be 1..32");
    require(module.speed >= 1 && module.speed <= 31, "speed must be 1..31");
    require(module.bpm >= 32 && module.bpm <= 255, "BPM must be 32..255");
    require(!module.orders.empty() && module.orders.size() <= 256, "order list must have 1..256 entries");
    require(module.restartPosition >= 0 && size_t(module.restartPosition) < module.orders.size(),
            "restart position outside the order list");
    require(!module.patterns.empty() && module.patterns.size() <= 256, "pattern count must be 1..256");
    for (uint8_t order : module.orders)
        require(order < module.patterns.size(), "order names a missing pattern");
    for (const XmPattern& pattern : module.patterns) {
        require(pattern.rows >= 1 && pattern.rows <= 256, "pattern rows must be 1..256");
        require(pattern.channels == module.channels, "pattern channel count differs from the module's");
        require(pattern.notes.size() == size_t(pattern.rows) * size_t(pattern.channels),
                "pattern note count differs from rows x channels");
        for (const XmNote& note : pattern.notes) {
            require(note.note <= XmNote::keyOff, "note above key off");
            require(note.instrument <= module.instruments.size(), "note names a missing instrument");
        }
    }
    require(module.instruments.size() <= 128, "more than 128 instruments");
    for (size_t i = 0; i < module.instruments.size(); ++i) {
        const XmInstrument& instrument = module.instruments[i];
        std::string name = "instrument " + std::to_string(i + 1);
        require(instrument.samples.size() <= 16, name + " has more than 16 samples");
        for (uint8_t index : instrument.sampleForNote)
            require(instrument.samples.empty() || index < instrument.samples.size(),
                    name + " maps a note to a missing sample");
        checkEnvelope(instrument.volumeEnvelope, name + " volume envelope");
        checkEnvelope(instrument.panningEnvelope, name + " panning envelope");
        for (size_t s = 0; s < instrument.samples.size(); ++s)
            checkSample(instrument.samples[s], name + " sample " + std::to_string(s + 1));
    }
}

void writeHeader(ByteWriter& out, const XmModule& module) {
    out.text("Extended Module: ", 17);
    out.text(module.name, 20);
    out.u8(0x1A);
    out.text(module.trackerName, 20);
    out.u16(0x0104);
    out.u32(headerSize);
    out.u16(uint32_t(module.orders.size()));
    out.u16(uint32_t(module.restartPosition));
    out.u16(uint32_t(module.channels));
    out.u16(uint32_t(module.patterns.size()));
    out.u16(uint32_t(module.instruments.size()));
    out.u16(module.linearFrequencies ? 1 : 0);
    out.u16(uint32_t(module.speed));
    out.u16(uint32_t(module.bpm));
    for (size_t i = 0; i < 256; ++i)
        out.u8(i < module.orders.size() ? module.orders[i] : 0);
}

// A cell is a flag byte (bit 7 set; bits 0-4 say which of note, instrument, volume, effect and
// parameter follow) and the fields present, unless all five are present: then they are written
// plainly, which is shorter.
void writeNote(ByteWriter& out, const XmNote& note) {
    const uint8_t fields[5] = {note.note, note.instrument, note.volume, note.effect, note.parameter};
    uint8_t flags = 0x80;
    for (int i = 0; i < 5; ++i)
        if (fields[i] != 0)
            flags |= uint8_t(1 << i);
    if (flags == 0x9F) {
        for (uint8_t field : fields)
            out.u8(field);
        return;
    }
    out.u8(flags);
    for (int i = 0; i < 5; ++i)
        if (fields[i] != 0)
            out.u8(fields[i]);
}

void writePattern(ByteWriter& out, const XmPattern& pattern) {
    out.u32(patternHeaderSize);
    out.u8(0); // packing type
    out.u16(uint32_t(pattern.rows));
    size_t sizeAt = out.size();
    out.u16(0);
    size_t dataStart = out.size();
    bool allEmpty = true;
    for (const XmNote& note : pattern.notes)
        allEmpty = allEmpty && note.empty();
    // An empty pattern is stored without data.
    if (!allEmpty) {
        for (const XmNote& note : pattern.notes)
            writeNote(out, note);
    }
    size_t dataSize = out.size() - dataStart;
    require(dataSize <= 0xFFFF, "packed pattern exceeds 65535 bytes");
    out.patchU16(sizeAt, uint32_t(dataSize));
}

void writeEnvelopePoints(ByteWriter& out, const XmEnvelope& envelope) {
    for (size_t i = 0; i < maxEnvelopePoints; ++i) {
        XmEnvelopePoint point = i < envelope.points.size() ? envelope.points[i] : XmEnvelopePoint{0, 0};
        out.u16(point.tick);
        out.u16(point.value);
    }
}

uint8_t envelopeType(const XmEnvelope& envelope) {
    return uint8_t((envelope.enabled ? 1 : 0) | (envelope.sustain ? 2 : 0) | (envelope.loop ? 4 : 0));
}

void writeSampleHeader(ByteWriter& out, const XmSample& sample) {
    uint32_t bytesPerFrame = sample.sixteenBit ? 2 : 1;
    bool looped = sample.loop != XmLoop::None;
    out.u32(uint32_t(sample.data.size()) * bytesPerFrame);
    out.u32(looped ? sample.loopStart * bytesPerFrame : 0);
    out.u32(looped ? sample.loopLength * bytesPerFrame : 0);
    out.u8(sample.volume);
    out.u8(uint8_t(sample.finetune));
    out.u8(uint8_t(sample.loop) | (sample.sixteenBit ? 0x10 : 0));
    out.u8(sample.panning);
    out.u8(uint8_t(sample.relativeNote));
    out.u8(0); // plain delta coding
    out.text(sample.name, 22);
}

// Sample data is stored as differences between successive values, wrapping at the sample width.
void writeSampleData(ByteWriter& out, const XmSample& sample) {
    uint16_t previous = 0;
    for (int16_t value : sample.data) {
        uint16_t current = uint16_t(value);
        if (sample.sixteenBit)
            out.u16(uint16_t(current - previous));
        else
            out.u8(uint8_t(current - previous));
        previous = current;
    }
}

void writeInstrument(ByteWriter& out, const XmInstrument& instrument) {
    bool hasSamples = !instrument.samples.empty();
    out.u32(hasSamples ? instrumentHeaderSize : emptyInstrumentHeaderSize);
    out.text(instrument.name, 22);
    out.u8(0); // type
    out.u16(uint32_t(instrument.samples.size()));
    if (!hasSamples)
        return;
    out.u32(sampleHeaderSize);
    for (uint8_t index : instrument.sampleForNote)
        out.u8(index);
    writeEnvelopePoints(out, instrument.volumeEnvelope);
    writeEnvelopePoints(out, instrument.panningEnvelope);
    const XmEnvelope& volume = instrument.volumeEnvelope;
    const XmEnvelope& panning = instrument.panningEnvelope;
    out.u8(uint32_t(volume.points.size()));
    out.u8(uint32_t(panning.points.size()));
    out.u8(volume.sustainPoint);
    out.u8(volume.loopStart);
    out.u8(volume.loopEnd);
    out.u8(panning.sustainPoint);
    out.u8(panning.loopStart);
    out.u8(panning.loopEnd);
    out.u8(envelopeType(volume));
    out.u8(envelopeType(panning));
    out.u8(instrument.vibratoType);
    out.u8(instrument.vibratoSweep);
    out.u8(instrument.vibratoDepth);
    out.u8(instrument.vibratoRate);
    out.u16(instrument.fadeout);
    out.zeros(22); // reserved
    for (const XmSample& sample : instrument.samples)
        writeSampleHeader(out, sample);
    for (const XmSample& sample : instrument.samples)
        writeSampleData(out, sample);
}

} // namespace

XmPattern::XmPattern(int rows, int channels)
    : rows(rows), channels(channels),
      notes(size_t(rows > 0 ? rows : 0) * size_t(channels > 0 ? channels : 0)) {}

XmNote& XmPattern::at(int row, int channel) {
    if (row < 0 || row >= rows || channel < 0 || channel >= channels)
        throw std::out_of_range("XM pattern cell out of range");
    return notes[size_t(row) * size_t(channels) + size_t(channel)];
}

const XmNote& XmPattern::at(int row, int channel) const {
    return const_cast<XmPattern*>(this)->at(row, channel);
}

std::vector<uint8_t> XmWriter::write(const XmModule& module) {
    checkModule(module);
    ByteWriter out;
    writeHeader(out, module);
    for (const XmPattern& pattern : module.patterns)
        writePattern(out, pattern);
    for (const XmInstrument& instrument : module.instruments)
        writeInstrument(out, instrument);
    return std::move(out.bytes);
}

void XmWriter::save(const XmModule& module, const std::string& path) {
    std::vector<uint8_t> bytes = write(module);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
    size_t written = std::fwrite(bytes.data(), 1, bytes.size(), file);
    bool closed = std::fclose(file) == 0;
    if (written != bytes.size() || !closed)
        throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
}
