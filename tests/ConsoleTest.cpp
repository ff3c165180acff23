#include "platform/ptc/Console.h"
#include "platform/ptc/Error.h"
#include "platform/ptc/HeadlessBackend.h"
#include "platform/ptc/Surface.h"
#include "platform/ptc/Timer.h"

#include <gtest/gtest.h>

#include <vector>

using ptc::Area;
using ptc::Console;
using ptc::DynamicError;
using ptc::Format;
using ptc::HeadlessBackend;
using ptc::Mode;
using ptc::Surface;

namespace {

const Format format32(32, 0xFF0000, 0x00FF00, 0x0000FF);
const Format format24(24, 0xFF0000, 0x00FF00, 0x0000FF);
const Format format565(16, 0xF800, 0x07E0, 0x001F);
const Format format555(16, 0x7C00, 0x03E0, 0x001F);

// A colour that differs in every channel from its neighbours, with a non-zero top byte that the
// display must not show.
std::uint32_t patternPixel(int x, int y) {
    return 0xAB000000u | std::uint32_t(x & 0xFF) << 16 | std::uint32_t(y & 0xFF) << 8 |
           std::uint32_t((x + y) & 0xFF);
}

void fillPattern(Surface& surface) {
    auto* pixels = static_cast<std::uint32_t*>(surface.lock());
    for (int y = 0; y < surface.height(); ++y)
        for (int x = 0; x < surface.width(); ++x)
            pixels[y * surface.width() + x] = patternPixel(x, y);
    surface.unlock();
}

// A console over a headless backend that keeps the last presented frame.
struct RecordingConsole {
    std::vector<std::uint32_t> lastFrame;
    int frameWidth = 0;
    int frameHeight = 0;
    HeadlessBackend* headless = nullptr;
    Console console;

    explicit RecordingConsole(std::vector<Mode> modes = HeadlessBackend::standardModes()) {
        auto backend = std::make_unique<HeadlessBackend>(
            [this](const std::uint32_t* pixels, int width, int height) {
                lastFrame.assign(pixels, pixels + width * height);
                frameWidth = width;
                frameHeight = height;
            },
            std::move(modes));
        headless = backend.get();
        console.backend(std::move(backend));
    }
};

// Shows one pixel value through a console opened in `format`.
std::uint32_t shownThrough(const Format& format, std::uint32_t pixel) {
    Console console;
    console.open("depth", 1, 1, format, 0);
    console.write(&pixel, 4, Area(0, 0, 1, 1));
    return console.frame()[0];
}

} // namespace

TEST(Format, EqualityComparesKindBitsAndMasks) {
    EXPECT_EQ(format32, Format(32, 0xFF0000, 0x00FF00, 0x0000FF, 0));
    EXPECT_NE(format32, format24);
    EXPECT_NE(format565, format555);
    EXPECT_NE(format32, Format(32, 0x0000FF, 0x00FF00, 0xFF0000));
    EXPECT_NE(Format(8), Format(8, 0xE0, 0x1C, 0x03));
    EXPECT_EQ(Format(), Format());
    EXPECT_NE(Format(), Format(8));
}

TEST(ConsoleModes, HeadlessOffers512x384In32BitsThenEnds) {
    Console console;
    Mode first = console.mode(0);
    EXPECT_TRUE(first.valid());
    EXPECT_EQ(first.width(), 512);
    EXPECT_EQ(first.height(), 384);
    EXPECT_EQ(first.format(), format32);
    EXPECT_FALSE(console.mode(1).valid());
    EXPECT_FALSE(console.mode(1000).valid());
    EXPECT_FALSE(console.mode(-1).valid());
}

TEST(ConsoleModes, ListStopsAtFirstInvalidEntry) {
    RecordingConsole recording({Mode(640, 480, format565), Mode(), Mode(512, 384, format32)});
    EXPECT_EQ(recording.console.mode(0), Mode(640, 480, format565));
    EXPECT_FALSE(recording.console.mode(1).valid());
    EXPECT_FALSE(recording.console.mode(2).valid());
}

TEST(ConsoleModes, LongListIsCutSoItFitsWithItsTerminator) {
    std::vector<Mode> many;
    for (int i = 0; i < 300; ++i)
        many.emplace_back(100 + i, 100, format32);
    RecordingConsole recording(many);
    EXPECT_EQ(recording.console.mode(254).width(), 354);
    EXPECT_FALSE(recording.console.mode(255).valid());
}

TEST(ConsoleCopy, WholeSurfaceReachesTheBackendWithoutTopByte) {
    RecordingConsole recording;
    recording.console.open("the title", 512, 384, format32, 0);
    EXPECT_EQ(recording.headless->title(), "the title");
    Surface surface(512, 384, format32);
    fillPattern(surface);
    surface.copy(recording.console);
    recording.console.update();

    ASSERT_EQ(recording.frameWidth, 512);
    ASSERT_EQ(recording.frameHeight, 384);
    for (int y = 0; y < 384; ++y)
        for (int x = 0; x < 512; ++x)
            ASSERT_EQ(recording.lastFrame[y * 512 + x], patternPixel(x, y) & 0xFFFFFF) << x << "," << y;
}

TEST(ConsoleCopy, AreaInto640x480LandsAt64x48WithBlackBorders) {
    RecordingConsole recording;
    recording.console.open("centred", 640, 480, format32, 0);
    Surface surface(512, 384, format32);
    fillPattern(surface);
    surface.copy(recording.console, Area(0, 0, 512, 384), Area(64, 48, 576, 432));
    recording.console.update();

    ASSERT_EQ(recording.frameWidth, 640);
    ASSERT_EQ(recording.frameHeight, 480);
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 640; ++x) {
            bool inside = x >= 64 && x < 576 && y >= 48 && y < 432;
            std::uint32_t expected = inside ? patternPixel(x - 64, y - 48) & 0xFFFFFF : 0;
            ASSERT_EQ(recording.lastFrame[y * 640 + x], expected) << x << "," << y;
        }
    }
}

TEST(ConsoleCopy, SourceAreaIsTakenFromItsOwnPosition) {
    Console console;
    console.open("part", 8, 8, format32, 0);
    Surface surface(16, 16, format32);
    fillPattern(surface);
    surface.copy(console, Area(5, 7, 8, 9), Area(1, 2, 4, 4));
    EXPECT_EQ(console.frame()[2 * 8 + 1], patternPixel(5, 7) & 0xFFFFFF);
    EXPECT_EQ(console.frame()[3 * 8 + 3], patternPixel(7, 8) & 0xFFFFFF);
    EXPECT_EQ(console.frame()[2 * 8 + 4], 0u);
    EXPECT_EQ(console.frame()[4 * 8 + 1], 0u);
}

TEST(ConsoleCopy, MisfitCopiesAreRefusedAndLeaveTheFrameAlone) {
    Console console;
    Surface surface(512, 384, format32);
    EXPECT_THROW(surface.copy(console), DynamicError) << "console not open";
    console.open("misfit", 640, 480, format32, 0);
    EXPECT_THROW(surface.copy(console), DynamicError) << "sizes differ";
    EXPECT_THROW(surface.copy(console, Area(0, 0, 512, 384), Area(0, 0, 512, 383)), DynamicError);
    EXPECT_THROW(surface.copy(console, Area(1, 0, 513, 384), Area(0, 0, 512, 384)), DynamicError);
    EXPECT_THROW(surface.copy(console, Area(-1, 0, 511, 384), Area(0, 0, 512, 384)), DynamicError);
    EXPECT_THROW(surface.copy(console, Area(0, 0, 512, 384), Area(129, 0, 641, 384)), DynamicError);
    EXPECT_THROW(surface.copy(console, Area(0, 0, 512, 384), Area(0, -1, 512, 383)), DynamicError);
    EXPECT_THROW(surface.copy(console, Area(10, 10, 0, 0), Area(10, 10, 0, 0)), DynamicError);
    for (int i = 0; i < 640 * 480; ++i)
        ASSERT_EQ(console.frame()[i], 0u);
}

TEST(ConsoleDepth, TwentyFourBitsShowsEveryColourUnchanged) {
    EXPECT_EQ(shownThrough(format24, 0x00123456), 0x123456u);
    EXPECT_EQ(shownThrough(format24, 0xFF010203), 0x010203u);
}

TEST(ConsoleDepth, SixteenBitsKeepsFiveSixFiveBitsWidenedFromTheTop) {
    EXPECT_EQ(shownThrough(format565, 0x00FFFFFF), 0xFFFFFFu);
    EXPECT_EQ(shownThrough(format565, 0x00808080), 0x848284u);
    EXPECT_EQ(shownThrough(format565, 0x00123456), 0x103452u);
    // Green keeps one more bit than red and blue.
    EXPECT_EQ(shownThrough(format565, 0x00070407), 0x000400u);
}

TEST(ConsoleDepth, FifteenBitsKeepsFiveBitsPerChannel) {
    EXPECT_EQ(shownThrough(format555, 0x00FFFFFF), 0xFFFFFFu);
    EXPECT_EQ(shownThrough(format555, 0x00808080), 0x848484u);
    EXPECT_EQ(shownThrough(format555, 0x00123456), 0x103152u);
    EXPECT_EQ(shownThrough(format555, 0x00070407), 0u);
}

TEST(ConsoleDepth, EveryLevelMatchesBitReplication) {
    Console console565;
    console565.open("565", 256, 1, format565, 0);
    Console console555;
    console555.open("555", 256, 1, format555, 0);
    std::vector<std::uint32_t> greys(256);
    for (std::uint32_t v = 0; v < 256; ++v)
        greys[v] = v << 16 | v << 8 | v;
    console565.write(greys.data(), 256 * 4, Area(0, 0, 256, 1));
    console555.write(greys.data(), 256 * 4, Area(0, 0, 256, 1));
    for (std::uint32_t v = 0; v < 256; ++v) {
        std::uint32_t five = (v & 0xF8) | (v >> 5);
        std::uint32_t six = (v & 0xFC) | (v >> 6);
        ASSERT_EQ(console565.frame()[v], five << 16 | six << 8 | five) << v;
        ASSERT_EQ(console555.frame()[v], five << 16 | five << 8 | five) << v;
    }
}

TEST(ConsoleDepth, SurfaceCopyToSixteenBitConsoleIsReduced) {
    RecordingConsole recording;
    recording.console.open("reduced", 2, 1, format565, 0);
    Surface surface(2, 1, format32);
    auto* pixels = static_cast<std::uint32_t*>(surface.lock());
    pixels[0] = 0x00808080;
    pixels[1] = 0x00123456;
    surface.unlock();
    surface.copy(recording.console);
    recording.console.update();
    EXPECT_EQ(recording.lastFrame, (std::vector<std::uint32_t>{0x848284, 0x103452}));
}

TEST(ConsoleLifecycle, OpenRefusesWhatNoDisplayShows) {
    Console console;
    EXPECT_THROW(console.open("indexed", 512, 384, Format(8), 0), DynamicError);
    EXPECT_THROW(console.open("empty", 512, 384, Format(), 0), DynamicError);
    EXPECT_THROW(console.open("no size", 0, 384, format32, 0), DynamicError);
    EXPECT_THROW(console.open("negative", 512, -384, format32, 0), DynamicError);
    EXPECT_FALSE(console.isOpen());
    EXPECT_THROW(console.update(), DynamicError);
}

TEST(ConsoleLifecycle, ReportsWhatItWasOpenedWithAndStartsBlack) {
    Console console;
    console.open("first", 4, 2, format32, 0);
    std::uint32_t white[8] = {0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF};
    console.write(white, 16, Area(0, 0, 4, 2));
    console.open("again", 3, 5, format555, 0);
    EXPECT_EQ(console.width(), 3);
    EXPECT_EQ(console.height(), 5);
    EXPECT_EQ(console.format(), format555);
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(console.frame()[i], 0u);
}

TEST(ConsoleLifecycle, KeyStaysPressedOnceSeen) {
    RecordingConsole recording;
    EXPECT_FALSE(recording.console.key()) << "closed console";
    recording.console.open("keys", 512, 384, format32, 0);
    EXPECT_FALSE(recording.console.key());
    recording.headless->pressKey();
    EXPECT_TRUE(recording.console.key());
    EXPECT_TRUE(recording.console.key());
    recording.console.open("reopened", 512, 384, format32, 0);
    EXPECT_FALSE(recording.console.key());
}

TEST(ConsoleLifecycle, BackendIsChosenOnlyWhileClosed) {
    Console console;
    console.open("open", 512, 384, format32, 0);
    EXPECT_THROW(console.backend(std::make_unique<HeadlessBackend>()), DynamicError);
    console.close();
    auto backend = std::make_unique<HeadlessBackend>(ptc::FrameSink{}, std::vector<Mode>{});
    console.backend(std::move(backend));
    EXPECT_FALSE(console.mode(0).valid()) << "the new backend's (empty) list";
}

TEST(Timer, CountsFromStartOnItsSource) {
    double now = 10.0;
    ptc::Timer timer([&now] { return now; });
    EXPECT_EQ(timer.time(), 0.0) << "not started";
    timer.start();
    now = 12.5;
    EXPECT_EQ(timer.time(), 2.5);
    timer.start();
    EXPECT_EQ(timer.time(), 0.0);
    now = 13.0;
    EXPECT_EQ(timer.time(), 0.5);
}

TEST(Timer, SteadyClockNeverGoesBack) {
    ptc::Timer timer;
    timer.start();
    double earlier = timer.time();
    double later = timer.time();
    EXPECT_GE(earlier, 0.0);
    EXPECT_GE(later, earlier);
    EXPECT_LT(later, 60.0);
}
