#include "TestModules.h"

#include <gtest/gtest.h>
#include <xmp.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

using namespace testmodules;

namespace {

uint32_t u16At(const std::vector<uint8_t>& bytes, size_t at) {
    return bytes[at] | bytes[at + 1] << 8;
}
uint32_t u32At(const std::vector<uint8_t>& bytes, size_t at) {
    return u16At(bytes, at) | u16At(bytes, at + 2) << 16;
}

constexpr size_t songHeaderEnd = 60 + 276;

// Owns a libxmp context with a module loaded from memory.
struct LoadedModule {
    explicit LoadedModule(const std::vector<uint8_t>& bytes) : context(xmp_create_context()) {
        result = xmp_load_module_from_memory(context, bytes.data(), long(bytes.size()));
        if (result == 0)
            xmp_get_module_info(context, &info);
    }
    ~LoadedModule() {
        if (result == 0)
            xmp_release_module(context);
        xmp_free_context(context);
    }
    const xmp_module& module() const { return *info.mod; }

    xmp_context context;
    xmp_module_info info{};
    int result;
};

XmModule twoPatternModule() {
    XmModule module = emptyModule(2);
    module.name = "abc";
    module.patterns = {XmPattern(4, 2), XmPattern(2, 2)};
    module.orders = {0, 1, 0};
    module.restartPosition = 1;
    module.instruments = {squareInstrument(100)};
    return module;
}

} // namespace

TEST(XmWriter, SongHeaderFieldsAtTheirOffsets) {
    std::vector<uint8_t> bytes = XmWriter::write(twoPatternModule());
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 17), "Extended Module: ");
    EXPECT_EQ(std::string(bytes.begin() + 17, bytes.begin() + 20), "abc");
    EXPECT_EQ(bytes[20], 0); // name padded with zeros
    EXPECT_EQ(bytes[37], 0x1A);
    EXPECT_EQ(std::string(bytes.begin() + 38, bytes.begin() + 45), "velmora");
    EXPECT_EQ(u16At(bytes, 58), 0x0104u); // format version
    EXPECT_EQ(u32At(bytes, 60), 276u);    // header size from offset 60
    EXPECT_EQ(u16At(bytes, 64), 3u);      // song length
    EXPECT_EQ(u16At(bytes, 66), 1u);      // restart position
    EXPECT_EQ(u16At(bytes, 68), 2u);      // channels
    EXPECT_EQ(u16At(bytes, 70), 2u);      // patterns
    EXPECT_EQ(u16At(bytes, 72), 1u);      // instruments
    EXPECT_EQ(u16At(bytes, 74), 1u);      // linear frequency table
    EXPECT_EQ(u16At(bytes, 76), 3u);      // speed
    EXPECT_EQ(u16At(bytes, 78), 125u);    // BPM
    EXPECT_EQ(bytes[80], 0);
    EXPECT_EQ(bytes[81], 1);
    EXPECT_EQ(bytes[82], 0);
    // Empty patterns are stored with no data: 9-byte header, packing 0, rows, data size 0.
    const std::vector<uint8_t> emptyPattern = {9, 0, 0, 0, 0, 4, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + songHeaderEnd, bytes.begin() + songHeaderEnd + 9),
              emptyPattern);
}

TEST(XmWriter, PatternCellsArePacked) {
    XmModule module = emptyModule(3);
    XmPattern pattern(1, 3);
    pattern.at(0, 1) = noteOf(1);
    pattern.at(0, 2) = XmNote{XmNote::keyOff, 1, 0x30, 0x0F, 0x06};
    module.patterns = {pattern};
    module.orders = {0};
    module.instruments = {squareInstrument(10)};
    std::vector<uint8_t> bytes = XmWriter::write(module);
    // clang-format off
    const std::vector<uint8_t> expected = {
        9, 0, 0, 0,                // pattern header size
        0,                         // packing type
        1, 0,                      // rows
        9, 0,                      // packed data size
        0x80,                      // channel 0: empty cell
        0x83, 49, 1,               // channel 1: note C-4 and instrument 1
        97, 1, 0x30, 0x0F, 0x06,   // channel 2: all five fields, written plainly
    };
    // clang-format on
    EXPECT_EQ(
        std::vector<uint8_t>(bytes.begin() + songHeaderEnd, bytes.begin() + songHeaderEnd + expected.size()),
        expected);
}

TEST(XmWriter, SamplesAreDeltaCodedAndDecodeBack) {
    XmModule module = emptyModule(1);
    module.patterns = {XmPattern(1, 1)};
    module.orders = {0};
    XmInstrument instrument;
    XmSample eightBit;
    eightBit.data = {0, 10, -10, 127, -128};
    XmSample sixteenBit;
    sixteenBit.sixteenBit = true;
    sixteenBit.data = {1000, -1000, 32767, -32768};
    instrument.samples = {eightBit, sixteenBit};
    module.instruments = {instrument};
    std::vector<uint8_t> bytes = XmWriter::write(module);

    // Both samples' data close the file, the 8-bit one first.
    // clang-format off
    const std::vector<uint8_t> expected = {
        0x00, 0x0A, 0xEC, 0x89, 0x01, // 0, +10, -20, +137, -255 (mod 256)
        0xE8, 0x03,                   // +1000
        0x30, 0xF8,                   // -2000
        0xE7, 0x83,                   // +33767 (mod 65536)
        0x01, 0x00,                   // -65535 (mod 65536)
    };
    // clang-format on
    EXPECT_EQ(std::vector<uint8_t>(bytes.end() - long(expected.size()), bytes.end()), expected);

    LoadedModule loaded(bytes);
    ASSERT_EQ(loaded.result, 0);
    ASSERT_EQ(loaded.module().smp, 2);
    const xmp_sample& first = loaded.module().xxs[0];
    const xmp_sample& second = loaded.module().xxs[1];
    ASSERT_EQ(first.len, 5);
    ASSERT_EQ(second.len, 4);
    EXPECT_EQ(second.flg & XMP_SAMPLE_16BIT, XMP_SAMPLE_16BIT);
    const int8_t* values8 = reinterpret_cast<const int8_t*>(first.data);
    EXPECT_EQ(std::vector<int>(values8, values8 + 5), (std::vector<int>{0, 10, -10, 127, -128}));
    int16_t values16[4];
    std::memcpy(values16, second.data, sizeof values16);
    EXPECT_EQ(std::vector<int>(values16, values16 + 4), (std::vector<int>{1000, -1000, 32767, -32768}));
}

TEST(XmWriter, LibxmpReadsOrdersPatternsAndInstruments) {
    XmModule module = emptyModule(4);
    module.patterns = {XmPattern(1, 4), XmPattern(64, 4), XmPattern(256, 4)};
    module.patterns[2].at(255, 3) = noteOf(2);
    module.orders = {2, 0, 1, 2};
    module.restartPosition = 2;

    XmInstrument plain = squareInstrument(50, "plain");
    XmInstrument shaped;
    shaped.name = "shaped";
    XmSample sample;
    sample.sixteenBit = true;
    sample.data.assign(100, 0);
    sample.loop = XmLoop::PingPong;
    sample.loopStart = 10;
    sample.loopLength = 80;
    sample.volume = 40;
    sample.finetune = -16;
    sample.panning = 200;
    sample.relativeNote = -12;
    shaped.samples = {sample};
    shaped.volumeEnvelope.points = {{0, 64}, {10, 32}, {40, 0}};
    shaped.volumeEnvelope.enabled = true;
    shaped.volumeEnvelope.sustain = true;
    shaped.volumeEnvelope.sustainPoint = 1;
    shaped.panningEnvelope.points = {{0, 0}, {20, 64}};
    shaped.panningEnvelope.enabled = true;
    shaped.panningEnvelope.loop = true;
    shaped.panningEnvelope.loopStart = 0;
    shaped.panningEnvelope.loopEnd = 1;
    shaped.fadeout = 512;
    module.instruments = {plain, shaped, XmInstrument{}};

    LoadedModule loaded(XmWriter::write(module));
    ASSERT_EQ(loaded.result, 0);
    const xmp_module& mod = loaded.module();
    EXPECT_EQ(mod.chn, 4);
    EXPECT_EQ(mod.len, 4);
    EXPECT_EQ(mod.rst, 2);
    EXPECT_EQ(mod.spd, 3);
    EXPECT_EQ(mod.bpm, 125);
    EXPECT_EQ(std::vector<int>(mod.xxo, mod.xxo + 4), (std::vector<int>{2, 0, 1, 2}));
    ASSERT_GE(mod.pat, 3); // libxmp may add a blank pattern of its own
    EXPECT_EQ(mod.xxp[0]->rows, 1);
    EXPECT_EQ(mod.xxp[1]->rows, 64);
    EXPECT_EQ(mod.xxp[2]->rows, 256);
    const xmp_event& last = mod.xxt[mod.xxp[2]->index[3]]->event[255];
    EXPECT_EQ(last.ins, 2);
    EXPECT_NE(last.note, 0);

    ASSERT_EQ(mod.ins, 3);
    EXPECT_STREQ(mod.xxi[0].name, "plain");
    EXPECT_STREQ(mod.xxi[1].name, "shaped");
    EXPECT_EQ(mod.xxi[2].nsm, 0);
    const xmp_instrument& instrument = mod.xxi[1];
    ASSERT_EQ(instrument.nsm, 1);
    EXPECT_EQ(instrument.sub[0].vol, 40);
    EXPECT_EQ(instrument.sub[0].fin, -16);
    EXPECT_EQ(instrument.sub[0].pan, 200);
    EXPECT_EQ(instrument.sub[0].xpo, -12);
    EXPECT_EQ(instrument.aei.npt, 3);
    EXPECT_EQ(instrument.aei.flg & (XMP_ENVELOPE_ON | XMP_ENVELOPE_SUS | XMP_ENVELOPE_LOOP),
              XMP_ENVELOPE_ON | XMP_ENVELOPE_SUS);
    EXPECT_EQ(instrument.aei.sus, 1);
    EXPECT_EQ(instrument.aei.data[2], 10);
    EXPECT_EQ(instrument.aei.data[3], 32);
    EXPECT_EQ(instrument.pei.npt, 2);
    EXPECT_EQ(instrument.pei.flg & (XMP_ENVELOPE_ON | XMP_ENVELOPE_LOOP),
              XMP_ENVELOPE_ON | XMP_ENVELOPE_LOOP);
    EXPECT_EQ(instrument.pei.lpe, 1);

    const xmp_sample& loadedSample = mod.xxs[instrument.sub[0].sid];
    EXPECT_EQ(loadedSample.len, 100);
    EXPECT_EQ(loadedSample.lps, 10);
    EXPECT_EQ(loadedSample.lpe, 90);
    EXPECT_EQ(loadedSample.flg & (XMP_SAMPLE_16BIT | XMP_SAMPLE_LOOP | XMP_SAMPLE_LOOP_BIDIR),
              XMP_SAMPLE_16BIT | XMP_SAMPLE_LOOP | XMP_SAMPLE_LOOP_BIDIR);
}

TEST(XmWriter, NotesSoundAtTheirRowsAndPlaybackRestarts) {
    XmModule module = emptyModule(2);
    module.patterns = {XmPattern(8, 2), XmPattern(2, 2)};
    module.patterns[0].at(5, 1) = noteOf(1);
    module.orders = {0, 1};
    module.restartPosition = 1;
    module.instruments = {squareInstrument(100)};

    LoadedModule loaded(XmWriter::write(module));
    ASSERT_EQ(loaded.result, 0);
    ASSERT_EQ(xmp_start_player(loaded.context, 44100, 0), 0);
    int firstSoundRow = -1;
    std::vector<int> ordersPlayed;
    for (int tick = 0; tick < 3 * (8 + 2 + 2 + 2); ++tick) {
        ASSERT_EQ(xmp_play_frame(loaded.context), 0);
        xmp_frame_info info;
        xmp_get_frame_info(loaded.context, &info);
        EXPECT_EQ(info.buffer_size, framesPerTick * 4);
        const int16_t* samples = static_cast<const int16_t*>(info.buffer);
        bool silent = std::all_of(samples, samples + info.buffer_size / 2, [](int16_t s) { return s == 0; });
        if (!silent && firstSoundRow < 0) {
            firstSoundRow = info.row;
            EXPECT_EQ(info.pos, 0);
            EXPECT_EQ(info.frame, 0);
        }
        if (info.frame == 0 && info.row == 0)
            ordersPlayed.push_back(info.pos);
    }
    xmp_end_player(loaded.context);
    EXPECT_EQ(firstSoundRow, 5);
    EXPECT_EQ(ordersPlayed, (std::vector<int>{0, 1, 1, 1}));
}

TEST(XmWriter, RejectsModulesItCannotWrite) {
    auto rejects = [](auto change) {
        XmModule module = twoPatternModule();
        change(module);
        EXPECT_THROW(XmWriter::write(module), std::invalid_argument);
    };
    rejects([](XmModule& m) { m.restartPosition = 3; });
    rejects([](XmModule& m) { m.orders = {0, 2}; });
    rejects([](XmModule& m) { m.orders.clear(); });
    rejects([](XmModule& m) { m.patterns[0] = XmPattern(257, 2); });
    rejects([](XmModule& m) { m.patterns[0] = XmPattern(0, 2); });
    rejects([](XmModule& m) { m.patterns[0] = XmPattern(4, 3); });
    rejects([](XmModule& m) { m.patterns[0].at(0, 0) = noteOf(2); });
    rejects([](XmModule& m) { m.instruments[0].samples[0].data[0] = 128; });
    rejects([](XmModule& m) { m.instruments[0].samples[0].loopStart = 1; });
    rejects([](XmModule& m) { m.instruments[0].volumeEnvelope.points.assign(13, {0, 0}); });
    rejects([](XmModule& m) { m.instruments[0].sampleForNote[0] = 1; });
    rejects([](XmModule& m) { m.channels = 33; });
    EXPECT_THROW(XmPattern(2, 2).at(2, 0), std::out_of_range);
}

TEST(XmWriter, SaveWritesTheSameBytes) {
    XmModule module = twoPatternModule();
    std::string path = std::string(VELMORA_BINARY_DIR) + "/xmwriter-save-test.xm";
    XmWriter::save(module, path);
    std::ifstream file(path, std::ios::binary);
    std::vector<uint8_t> saved((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(saved, XmWriter::write(module));
    std::remove(path.c_str());
    EXPECT_THROW(XmWriter::save(module, "/nonexistent-directory/x.xm"), std::runtime_error);
}
