// The driver's start-up, before any data is read.
#include "DirtyAllocations.h"
#include "ShowObjectsGuard.h"
#include "core/ShowObjects.h"
#include "driver/ShowDriver.h"
#include "platform/ptc/Console.h"
#include "platform/ptc/HeadlessBackend.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

// Layers that accumulate in the work buffers (glows that fade per frame) start from black only
// if start-up clears them: memory the allocator hands back may hold anything.
TEST(ShowDriver, WorkBuffersStartBlackWhateverTheAllocatorGives) {
    showtest::ShowObjectsGuard guard;
    ptc::Console showConsole(std::make_unique<ptc::HeadlessBackend>(ptc::FrameSink{}));
    std::unique_ptr<ShowDriver> driver;
    {
        DirtyAllocations scope;
        driver = std::make_unique<ShowDriver>(showConsole, ShowDriver::Settings{});
    }
    ASSERT_NE(workBufferA, nullptr);
    ASSERT_NE(workBufferB, nullptr);
    auto isBlack = [](const std::uint32_t* buffer) {
        return std::all_of(buffer, buffer + workBufferWords, [](std::uint32_t word) { return word == 0; });
    };
    EXPECT_TRUE(isBlack(workBufferA));
    EXPECT_TRUE(isBlack(workBufferB));
}

// The cues exist from start-up on; a caller that asks earlier gets an error, not a null reference.
TEST(ShowDriver, CuesBeforeStartUpAreAnError) {
    showtest::ShowObjectsGuard guard;
    ptc::Console showConsole(std::make_unique<ptc::HeadlessBackend>(ptc::FrameSink{}));
    ShowDriver driver(showConsole, ShowDriver::Settings{});
    EXPECT_THROW(driver.cues(), std::logic_error);
}
