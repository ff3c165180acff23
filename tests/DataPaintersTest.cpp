// The data generator's building blocks: the machine-independent maths, the wrapping noise,
// shapes, the terrain's water level, sample synthesis and tuning, and lossless PCX storage.

#include "datagen/Canvas.h"
#include "datagen/DetMath.h"
#include "datagen/Instruments.h"
#include "datagen/MaskPainter.h"
#include "datagen/Noise.h"
#include "datagen/PictureCatalogue.h"
#include "datagen/PictureWriter.h"
#include "datagen/Synth.h"
#include "datagen/TerrainPainter.h"
#include "image/MemoryStream.h"
#include "image/PcxCodec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>

using namespace datagen;

namespace {

constexpr double kTight = 1e-13;

} // namespace

TEST(DetMath, MatchesKnownValues) {
    EXPECT_NEAR(detSin(kPi / 6.0), 0.5, kTight);
    EXPECT_NEAR(detSin(-kPi / 2.0), -1.0, kTight);
    EXPECT_NEAR(detSin(100.0 * kPi + kPi / 4.0), 0.70710678118654752, 1e-12); // far from zero
    EXPECT_NEAR(detCos(kPi / 3.0), 0.5, kTight);
    EXPECT_NEAR(detCos(kPi), -1.0, kTight);
    EXPECT_NEAR(detExp(1.0), 2.71828182845904524, 1e-14);
    EXPECT_NEAR(detExp(-10.0), 4.53999297624848515e-5, 1e-18);
    EXPECT_NEAR(detLog(2.0), 0.69314718055994531, kTight);
    EXPECT_NEAR(detLog(1e-6), -13.8155105579642741, 1e-12);
    EXPECT_NEAR(detPow(2.0, 10.0), 1024.0, 1e-10);
    EXPECT_EQ(detPow(0.0, 6.0), 0.0); // the shapes raise zero to powers
    EXPECT_NEAR(detTanh(0.5), 0.46211715726000974, kTight);
    EXPECT_EQ(detTanh(50.0), 1.0);
}

TEST(DetMath, Atan2CoversEveryQuadrant) {
    EXPECT_NEAR(detAtan2(1.0, 1.0), kPi / 4.0, kTight);
    EXPECT_NEAR(detAtan2(1.0, -1.0), 3.0 * kPi / 4.0, kTight);
    EXPECT_NEAR(detAtan2(-1.0, -1.0), -3.0 * kPi / 4.0, kTight);
    EXPECT_NEAR(detAtan2(-2.0, 1.0), -1.10714871779409050, kTight);
    EXPECT_NEAR(detAtan2(0.0, -3.0), kPi, kTight);
    EXPECT_NEAR(detAtan2(5.0, 0.0), kPi / 2.0, kTight);
    EXPECT_EQ(detAtan2(0.0, 0.0), 0.0);
}

TEST(Noise, GeneratorFollowsTheSplitMixSequence) {
    // The published first outputs of splitmix64 seeded with 0.
    Generator random(0);
    EXPECT_EQ(random.next(), 0xE220A8397B1DCDAFull);
    EXPECT_EQ(random.next(), 0x6E789E6AA1B965F4ull);
    Generator unit(7);
    for (int i = 0; i < 1000; ++i) {
        double value = unit.unit();
        ASSERT_GE(value, 0.0);
        ASSERT_LT(value, 1.0);
    }
}

TEST(Noise, PeriodicNoiseRepeatsExactlyAndStaysInRange) {
    FbmSettings settings{5, 0.5, 4, 99};
    double smallest = 1.0, largest = -1.0;
    for (int i = 0; i < 200; ++i) {
        // Multiples of 1/64, so that shifting by whole periods is exact.
        double x = i / 64.0 * 11.0, y = i / 64.0 * 19.0 - 7.0;
        EXPECT_EQ(gradientNoise(x, y, 4, 5), gradientNoise(x + 4.0, y - 8.0, 4, 5));
        EXPECT_EQ(fbm(x, y, settings), fbm(x - 4.0, y + 4.0, settings));
        double value = fbm(x, y, settings);
        smallest = std::min(smallest, value);
        largest = std::max(largest, value);
    }
    EXPECT_GE(smallest, -1.5);
    EXPECT_LE(largest, 1.5);
    EXPECT_LT(smallest, -0.1); // and it does vary
    EXPECT_GT(largest, 0.1);
    // Without a period, shifting by four cells gives other values.
    EXPECT_NE(gradientNoise(0.3, 0.7, 0, 5), gradientNoise(4.3, 0.7, 0, 5));
}

TEST(Masks, DiscIsOpaqueInsideClearOutsideAndSoftOnTheEdge) {
    Field field(64, 64);
    paintMask(field, discShape(32.0, 32.0, 20.0), 2.0);
    EXPECT_EQ(toByte(field.at(32, 32)), 255);
    EXPECT_EQ(toByte(field.at(2, 2)), 0);
    // Pixel 51 has its centre at 51.5: 19.5 from the centre, half a pixel inside the edge.
    int edge = toByte(field.at(51, 32));
    EXPECT_GT(edge, 128);
    EXPECT_LT(edge, 255);
}

TEST(Masks, CrescentAndRingLeaveHolesWhereTheyShould) {
    Field crescent(100, 100);
    paintMask(crescent, crescentShape(50.0, 50.0, 40.0, 20.0, 0.0), 1.0);
    EXPECT_EQ(toByte(crescent.at(50, 50)), 0);   // the bite
    EXPECT_EQ(toByte(crescent.at(14, 50)), 255); // the lit rim
    Field ring(100, 100);
    paintMask(ring, ringShape(50.0, 50.0, 20.0, 40.0, 1.0), 1.0);
    EXPECT_EQ(toByte(ring.at(50, 50)), 0);
    EXPECT_EQ(toByte(ring.at(80, 50)), 255);
    EXPECT_EQ(toByte(ring.at(99, 99)), 0);
}

TEST(Terrain, SeaIsOneFlatLevelOfAFifthAndLandReachesTheTop) {
    Field heights = flightTerrain(128);
    std::array<int, 256> counts{};
    for (std::uint8_t byte : heights.toBytes())
        ++counts[byte];
    int total = 128 * 128;
    // Everything up to the fifth-lowest value becomes sea: exactly one level, 0.
    EXPECT_GE(counts[0], total / 5);
    EXPECT_LE(counts[0], total / 5 + total / 100);
    EXPECT_GT(counts[255], 0);
    EXPECT_LT(*std::max_element(counts.begin() + 1, counts.end()), counts[0] / 4);
}

TEST(Terrain, ReliefFieldsSpanTheRangeAndWrap) {
    for (Relief relief : {Relief::RollingHills, Relief::Ridges, Relief::Dunes, Relief::Terraces}) {
        Field field = reliefField(64, relief, 3);
        auto [smallest, largest] = std::minmax_element(field.data().begin(), field.data().end());
        EXPECT_EQ(*smallest, 0.0);
        EXPECT_EQ(*largest, 1.0);
        double across = 0.0, inside = 0.0;
        for (int y = 0; y < 64; ++y) {
            across += std::fabs(field.at(63, y) - field.at(0, y));
            inside += std::fabs(field.at(31, y) - field.at(32, y));
        }
        EXPECT_LT(across, inside * 3.0 + 0.5);
    }
}

TEST(Synth, TuningPlaysMiddleCAtItsOwnPitch) {
    // 12 * log2(44100 / 8363) = 28.784 semitones: 28 and 100/128.
    Tuning native = nativeTuning();
    EXPECT_EQ(native.relativeNote, 28);
    EXPECT_EQ(native.finetune, 100);
    // A sample pitched an octave lower needs twelve semitones more.
    Tuning low = tuningFor(261.6255653005986 / 2.0);
    EXPECT_EQ(low.relativeNote, 40);
    EXPECT_EQ(low.finetune, 100);
}

TEST(Synth, OscillatorsRepeatAfterTheirPeriod) {
    const std::int64_t period = kSampleRate / 2;
    for (std::int64_t i : {0, 17, 5000, 22049}) {
        EXPECT_EQ(sawAt(i, 131, period), sawAt(i + period, 131, period));
        EXPECT_EQ(squareAt(i, 33, period, 0.35), squareAt(i + period, 33, period, 0.35));
        EXPECT_EQ(sineAt(i, 131, period), sineAt(i + 3 * period, 131, period));
    }
    EXPECT_NEAR(sineAt(kSampleRate / 4, 1, kSampleRate), 1.0, 1e-12);
}

TEST(Synth, PcmConversionRoundsAndClips) {
    std::vector<std::int16_t> pcm = toPcm({0.0, 0.5, -1.0, 1.5, -2.0, 1.0 / 32767.0});
    EXPECT_EQ(pcm, (std::vector<std::int16_t>{0, 16384, -32767, 32767, -32768, 1}));
}

TEST(Instruments, LoopedSamplesJoinWithoutAClick) {
    std::vector<XmInstrument> instruments = buildInstruments();
    ASSERT_EQ(instruments.size(), static_cast<std::size_t>(kInstrumentCount));
    int looped = 0;
    for (const XmInstrument& instrument : instruments) {
        ASSERT_EQ(instrument.samples.size(), 1u) << instrument.name;
        const XmSample& sample = instrument.samples[0];
        EXPECT_TRUE(sample.sixteenBit);
        int peak = 0;
        for (std::int16_t value : sample.data)
            peak = std::max(peak, std::abs(static_cast<int>(value)));
        EXPECT_GT(peak, 20000) << instrument.name; // no silent or lost sample
        if (sample.loop != XmLoop::Forward) {
            // One-shots end at rest.
            EXPECT_LT(std::abs(static_cast<int>(sample.data.back())), 200) << instrument.name;
            continue;
        }
        ++looped;
        ASSERT_EQ(sample.loopStart + sample.loopLength, sample.data.size()) << instrument.name;
        // The step from the loop's end back to its start is like any step inside the loop.
        int largestStep = 0;
        for (std::size_t i = 1; i < sample.data.size(); ++i)
            largestStep = std::max(largestStep, std::abs(sample.data[i] - sample.data[i - 1]));
        int wrapStep = std::abs(sample.data.front() - sample.data.back());
        EXPECT_LE(wrapStep, largestStep) << instrument.name;
    }
    EXPECT_EQ(looped, 9);
}

TEST(PictureWriter, PcxStoresTheGreyLevelsExactly) {
    const PictureFile* terrain = nullptr;
    for (const PictureFile& file : pictureFiles())
        if (file.format == PictureFormat::Pcx)
            terrain = &file;
    ASSERT_NE(terrain, nullptr);
    PictureFile small = *terrain;
    small.width = 3;
    small.height = 2;
    std::vector<std::uint32_t> pixels = {0x000000, 0x7F7F7F, 0xFFFFFF, 0x010101, 0x808080, 0xFEFEFE};
    std::vector<std::uint8_t> bytes = encodePicture(small, pixels);
    MemoryStream stream(bytes.data(), bytes.size());
    PcxCodec codec(&stream);
    ASSERT_EQ(codec.isValid(), 1);
    int width = 0, height = 0, hasPalette = 0;
    ptc::Format format;
    codec.getInfo(width, height, format, hasPalette);
    ASSERT_EQ(width, 3);
    ASSERT_EQ(height, 2);
    std::vector<std::uint8_t> indices(6);
    ptc::Palette palette;
    ASSERT_EQ(codec.load(indices.data(), &palette), 1);
    EXPECT_EQ(indices, (std::vector<std::uint8_t>{0x00, 0x7F, 0xFF, 0x01, 0x80, 0xFE}));
    EXPECT_EQ(palette.data()[0x80], 0x808080u);
    EXPECT_THROW(encodePicture(small, {0, 1, 2}), std::logic_error); // painted at the wrong size
}

TEST(Canvas, BytesRoundAndClip) {
    EXPECT_EQ(toByte(-0.5), 0);
    EXPECT_EQ(toByte(0.5), 128); // 127.5 rounds up
    EXPECT_EQ(toByte(1.0), 255);
    EXPECT_EQ(toByte(7.0), 255); // over-bright light clips
    EXPECT_EQ(toByte(std::nan("")), 0);
    Canvas canvas(2, 1);
    canvas.at(0, 0) = {1.0, 0.5, 0.0};
    canvas.at(1, 0) = {-1.0, 2.0, 0.25};
    EXPECT_EQ(canvas.toPixels(), (std::vector<std::uint32_t>{0xFF8000, 0x00FF40}));
}

TEST(Canvas, GradientHitsItsStopsAndClamps) {
    std::vector<Colour> stops = {hexColour(0x000000), hexColour(0xFF0000), hexColour(0xFFFFFF)};
    EXPECT_EQ(gradient(stops, 0.5).r, 1.0);
    EXPECT_EQ(gradient(stops, 0.5).g, 0.0);
    EXPECT_EQ(gradient(stops, 1.0).b, 1.0);
    EXPECT_EQ(gradient(stops, -3.0).r, 0.0);
    EXPECT_EQ(gradient(stops, 0.25).r, 0.5);
}

TEST(Field, BlurWrapsAndKeepsTheAverage) {
    Field field(16, 8);
    field.at(0, 0) = 16.0 * 8.0; // one bright corner: average 1
    field.blur(2, 3);
    double sum = 0.0;
    for (double v : field.data())
        sum += v;
    EXPECT_NEAR(sum / field.data().size(), 1.0, 1e-12);
    // The corner's light spreads round the edges to the opposite sides alike.
    EXPECT_NEAR(field.at(15, 0), field.at(1, 0), 1e-12);
    EXPECT_NEAR(field.at(0, 7), field.at(0, 1), 1e-12);
    field.normalise(0.0, 1.0);
    auto [smallest, largest] = std::minmax_element(field.data().begin(), field.data().end());
    EXPECT_EQ(*smallest, 0.0);
    EXPECT_EQ(*largest, 1.0);
}

TEST(PictureCatalogue, NamesSizesAndFormatsAreTheShows) {
    const std::vector<PictureFile>& files = pictureFiles();
    ASSERT_EQ(files.size(), 67u);
    int pcx = 0, grey = 0;
    for (const PictureFile& file : files) {
        EXPECT_GT(file.width, 0) << file.name;
        EXPECT_GT(file.height, 0) << file.name;
        EXPECT_TRUE(file.paint) << file.name;
        pcx += file.format == PictureFormat::Pcx;
        grey += file.grey;
        EXPECT_NE(file.name, "x20.jpg");
    }
    EXPECT_EQ(pcx, 1);
    EXPECT_EQ(grey, 26); // 24 masks, flow and height maps, the terrain and the sprite
    EXPECT_EQ(files.front().name, "x1.jpg");
}

TEST(DataCommandLine, ReportsOneLineErrorsWithStatusOne) {
    std::string tool = std::string(VELMORA_BINARY_DIR) + "/velmora-data";
    FILE* pipe = ::popen((tool + " --out /tmp --only x20.jpg 2>&1").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    int status = ::pclose(pipe);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(output, "velmora-data: no data file is called x20.jpg\n");
}
