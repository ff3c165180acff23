// A display that offers only 640 x 480: the loading screens and the frames sit in its centre.
#include "ShowTestSupport.h"
#include "app/Show.h"
#include "platform/ptc/HeadlessBackend.h"

#include <gtest/gtest.h>

#include <set>

using namespace showtest;

TEST(ShowCentred, FramesGetBordersOf64And48Pixels) {
    TemporaryDirectory root("centred");
    writeShowData(root.path);
    struct Presented {
        int width, height;
        std::vector<std::uint32_t> pixels;
    };
    std::vector<Presented> presented;
    ShowOptions options;
    options.dataDirectory = root.path.string();
    options.headless = true;
    options.frames = 2;
    ShowHooks hooks;
    hooks.makeBackend = [&presented] {
        auto keep = [&presented](const std::uint32_t* pixels, int width, int height) {
            presented.push_back({width, height, std::vector<std::uint32_t>(pixels, pixels + width * height)});
        };
        const ptc::Format format32(32, 0xFF0000, 0x00FF00, 0x0000FF);
        return std::make_unique<ptc::HeadlessBackend>(keep, std::vector<ptc::Mode>{ptc::Mode(640, 480, format32)});
    };
    ASSERT_EQ(runShow(options, hooks), 0);

    // Ninety loading screens, then two frames.
    ASSERT_EQ(presented.size(), 92u);
    for (std::size_t i = 0; i < presented.size(); ++i) {
        const Presented& frame = presented[i];
        ASSERT_EQ(frame.width, 640);
        ASSERT_EQ(frame.height, 480);
        std::set<std::uint32_t> border, inside;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) {
                bool inFrame = x >= 64 && x < 576 && y >= 48 && y < 432;
                (inFrame ? inside : border).insert(frame.pixels[y * 640 + x]);
            }
        EXPECT_EQ(border, std::set<std::uint32_t>{0u});
        // The loading screens show the picture; the show itself opens on black.
        if (i < 90) {
            EXPECT_GT(inside.size(), 100u);
        }
    }
}

TEST(ShowKey, KeyWaitingAtTheFirstTestEndsTheShowBeforeAnyFrame) {
    TemporaryDirectory root("key");
    writeShowData(root.path);
    long presented = 0;
    ShowOptions options;
    options.dataDirectory = root.path.string();
    options.headless = true;
    options.frames = 100;
    options.stats = true;
    ShowHooks hooks;
    hooks.makeBackend = [&presented] {
        auto backend = std::make_unique<ptc::HeadlessBackend>(
            [&presented](const std::uint32_t*, int, int) { ++presented; });
        backend->pressKey();
        return backend;
    };
    testing::internal::CaptureStdout();
    ASSERT_EQ(runShow(options, hooks), 0);
    std::string statistics = testing::internal::GetCapturedStdout();
    EXPECT_EQ(presented, 90) << "the loading screens only";
    EXPECT_EQ(statistics.rfind("frames 0 ", 0), 0u) << statistics;
}
