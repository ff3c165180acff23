// The show in a window. These tests need a display; `make test` runs them under a virtual one
// (xvfb-run, with SDL's dummy audio driver). Without a display they are skipped.
#include "ShowTestSupport.h"
#include "main/Show.h"
#include "platform/ptc/window/WindowBackend.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>

using namespace showtest;

namespace {

struct Shot {
    std::vector<std::uint32_t> pixels;
    int width = 0;
    int height = 0;

    std::uint32_t at(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
    std::size_t distinctColours() const {
        return std::set<std::uint32_t>(pixels.begin(), pixels.end()).size();
    }
};

Shot readBack(ptc::ConsoleBackend& backend) {
    Shot shot;
    auto* window = dynamic_cast<ptc::WindowBackend*>(&backend);
    if (window != nullptr)
        shot.pixels = window->readBack(shot.width, shot.height);
    return shot;
}

} // namespace

TEST(WindowShow, ShowsTheLoadingGaugeThenFrames) {
    if (!std::getenv("DISPLAY"))
        GTEST_SKIP() << "no display";
    TemporaryDirectory root("window");
    writeShowData(root.path);

    ShowOptions options;
    options.dataDirectory = root.path.string();
    options.scale = 1;
    options.seconds = 1.0;
    std::vector<Shot> loading;
    Shot lastFrame;
    long frames = 0;
    ShowHooks hooks;
    hooks.afterPresent = [&](ptc::ConsoleBackend& backend, long frame) {
        if (frame < 0) {
            loading.push_back(readBack(backend));
        } else {
            ++frames;
            lastFrame = readBack(backend);
        }
    };
    ASSERT_EQ(runShow(options, hooks), 0);

    // Loading screens at 0.00 .. 0.78, 0.79, 0.83, 0.85, 0.87, 0.89, 0.91, 0.92, 0.94, 0.96, 0.97
    // and 1.00.
    ASSERT_EQ(loading.size(), 90u);
    const Shot& first = loading.front();
    const Shot& full = loading.back();
    ASSERT_EQ(first.width, 512);
    ASSERT_EQ(first.height, 384);
    EXPECT_GT(first.distinctColours(), 100u) << "the picture, not a blank window";
    // Where the first spoke runs (column 384, rows 225 to 239) the picture's blue (about 128)
    // is lifted to full by the bright line once any progress is shown.
    EXPECT_LT(first.at(384, 232) & 0xFF, 0xC0u);
    EXPECT_EQ(full.at(384, 232) & 0xFF, 0xFFu);
    // The spoke at a quarter turn points right: row 144, columns 464 to 480.
    EXPECT_EQ(full.at(470, 144) & 0xFF, 0xFFu);

    EXPECT_GT(frames, 0);
    ASSERT_EQ(lastFrame.width, 512);
    EXPECT_GT(lastFrame.distinctColours(), 100u) << "the frames are not blank";
}
