// These tests need a display; `make test` runs them under a virtual one (xvfb-run). Without a
// display they are skipped.

#include "platform/ptc/window/WindowBackend.h"
#include "platform/ptc/Console.h"
#include "platform/ptc/Error.h"
#include "platform/ptc/Surface.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

using ptc::Area;
using ptc::Console;
using ptc::Format;
using ptc::WindowBackend;

namespace {

const Format format32(32, 0xFF0000, 0x00FF00, 0x0000FF);

std::uint32_t patternPixel(int x, int y) {
    return std::uint32_t(x & 0xFF) << 16 | std::uint32_t(y & 0xFF) << 8 | std::uint32_t((x ^ y) & 0xFF);
}

class WindowBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY"))
            GTEST_SKIP() << "no display";
        auto backend = std::make_unique<WindowBackend>(ptc::WindowOptions{2, false});
        window = backend.get();
        console.backend(std::move(backend));
    }

    void showPattern() {
        ptc::Surface surface(512, 384, format32);
        auto* pixels = static_cast<std::uint32_t*>(surface.lock());
        for (int y = 0; y < 384; ++y)
            for (int x = 0; x < 512; ++x)
                pixels[y * 512 + x] = patternPixel(x, y);
        surface.unlock();
        surface.copy(console);
        console.update();
    }

    WindowBackend* window = nullptr;
    Console console;
};

} // namespace

TEST_F(WindowBackendTest, OpensShowsAFrameScaledAndCloses) {
    EXPECT_EQ(console.mode(0), ptc::Mode(512, 384, format32));
    EXPECT_FALSE(console.mode(1).valid());
    console.open("the title", 512, 384, format32, 0);
    showPattern();

    int width = 0, height = 0;
    auto shown = window->readBack(width, height);
    ASSERT_EQ(width, 1024);
    ASSERT_EQ(height, 768);
    for (int y = 0; y < 384; y += 7)
        for (int x = 0; x < 512; x += 5)
            for (int corner = 0; corner < 4; ++corner)
                ASSERT_EQ(shown[(2 * y + corner / 2) * 1024 + 2 * x + corner % 2], patternPixel(x, y))
                    << x << "," << y;
    EXPECT_FALSE(console.key());
    console.close();
    EXPECT_FALSE(console.isOpen());
}

TEST_F(WindowBackendTest, ResizedWindowKeepsAspectWithBlackBorders) {
    console.open("resized", 512, 384, format32, 0);
    showPattern();
    window->resize(1024, 968);

    int width = 0, height = 0;
    auto shown = window->readBack(width, height);
    ASSERT_EQ(width, 1024);
    ASSERT_EQ(height, 968);
    // The picture keeps 4:3 at twice its size, with (968 - 768) / 2 = 100 black rows above and below.
    for (int x = 0; x < 1024; x += 3) {
        ASSERT_EQ(shown[10 * 1024 + x], 0u) << x;
        ASSERT_EQ(shown[958 * 1024 + x], 0u) << x;
    }
    for (int y = 0; y < 384; y += 11)
        for (int x = 0; x < 512; x += 13)
            ASSERT_EQ(shown[(100 + 2 * y) * 1024 + 2 * x], patternPixel(x, y)) << x << "," << y;
}

TEST_F(WindowBackendTest, KeyPressCountsAsKey) {
    console.open("keys", 512, 384, format32, 0);
    EXPECT_FALSE(console.key());
    window->simulateKeyPress();
    EXPECT_TRUE(console.key());
    EXPECT_TRUE(console.key());
}

TEST_F(WindowBackendTest, ClosingTheWindowCountsAsKey) {
    console.open("close", 512, 384, format32, 0);
    showPattern();
    window->simulateClose();
    EXPECT_TRUE(console.key());
}

TEST_F(WindowBackendTest, CentredConsoleShowsItsWholeFrame) {
    console.open("centred", 640, 480, format32, 0);
    ptc::Surface surface(512, 384, format32);
    auto* pixels = static_cast<std::uint32_t*>(surface.lock());
    for (int i = 0; i < 512 * 384; ++i)
        pixels[i] = 0xFFFFFF;
    surface.unlock();
    surface.copy(console, Area(0, 0, 512, 384), Area(64, 48, 576, 432));
    console.update();

    int width = 0, height = 0;
    auto shown = window->readBack(width, height);
    ASSERT_EQ(width, 1280);
    ASSERT_EQ(height, 960);
    EXPECT_EQ(shown[95 * 1280 + 127], 0u);
    EXPECT_EQ(shown[96 * 1280 + 128], 0xFFFFFFu);
    EXPECT_EQ(shown[863 * 1280 + 1151], 0xFFFFFFu);
    EXPECT_EQ(shown[864 * 1280 + 1152], 0u);
}

TEST(WindowBackendErrors, UnusableDisplayIsReportedAsError) {
    const char* previous = std::getenv("SDL_VIDEODRIVER");
    std::string saved = previous ? previous : "";
    setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
    Console console(ptc::makeWindowBackend());
    EXPECT_THROW(console.open("nowhere", 512, 384, format32, 0), ptc::DynamicError);
    EXPECT_FALSE(console.isOpen());
    if (previous)
        setenv("SDL_VIDEODRIVER", saved.c_str(), 1);
    else
        unsetenv("SDL_VIDEODRIVER");
}

namespace {

// Sets environment variables (a null value unsets one) for the object's lifetime.
class EnvironmentChange {
public:
    explicit EnvironmentChange(std::initializer_list<std::pair<const char*, const char*>> changes) {
        for (const auto& [name, value] : changes) {
            const char* previous = std::getenv(name);
            saved.emplace_back(name, previous ? std::optional<std::string>(previous) : std::nullopt);
            if (value)
                setenv(name, value, 1);
            else
                unsetenv(name);
        }
    }
    ~EnvironmentChange() {
        for (const auto& [name, value] : saved)
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

} // namespace

// Without a display SDL would draw the window into memory, and the show would run unseen.
TEST(WindowBackendErrors, NoDisplayIsRefusedUnlessTheEnvironmentAsksForAMemoryDriver) {
    {
        EnvironmentChange noDisplay({{"DISPLAY", ":4711"}, {"WAYLAND_DISPLAY", nullptr}, {"SDL_VIDEODRIVER", nullptr}});
        Console console(ptc::makeWindowBackend());
        std::string message;
        try {
            console.open("nowhere", 512, 384, format32, 0);
        } catch (const ptc::DynamicError& error) {
            message = error.what();
        }
        EXPECT_EQ(message, "no display to open a window on (DISPLAY=:4711 does not answer); --record, --png-dir or "
                           "--headless render without one");
        EXPECT_FALSE(console.isOpen());
    }
    EnvironmentChange asked({{"SDL_VIDEODRIVER", "offscreen"}});
    Console console(ptc::makeWindowBackend());
    console.open("in memory", 512, 384, format32, 0);
    EXPECT_TRUE(console.isOpen());
}

// Mesa's llvmpipe costs more than the show to stretch the frame; SDL's software renderer takes
// its place, unless the environment names a renderer.
TEST_F(WindowBackendTest, SoftwareOpenGlGivesWayToTheSoftwareRenderer) {
    EnvironmentChange defaultRenderer({{"SDL_RENDER_DRIVER", nullptr}});
    console.open("renderer", 512, 384, format32, 0);
    std::string chosen = window->rendererName();
    if (chosen.find("llvmpipe") == std::string::npos && chosen.find("softpipe") == std::string::npos &&
        chosen.find("swrast") == std::string::npos)
        GTEST_SKIP() << "OpenGL here is not drawn by the processor: " << chosen;
    EXPECT_EQ(chosen.rfind("software (instead of OpenGL on ", 0), 0u) << chosen;
    showPattern();
    int width = 0, height = 0;
    std::vector<std::uint32_t> shown = window->readBack(width, height);
    ASSERT_EQ(width, 1024);
    EXPECT_EQ(shown[(2 * 100 + 1) * 1024 + 2 * 300 + 1], patternPixel(300, 100));
    console.close();

    setenv("SDL_RENDER_DRIVER", "opengl", 1);
    console.open("renderer", 512, 384, format32, 0);
    EXPECT_EQ(window->rendererName().rfind("opengl (", 0), 0u) << window->rendererName();
}
