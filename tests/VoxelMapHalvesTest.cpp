// The voxel landscape's map halves: together they cover every cell once, in whole cache lines, and
// each holds the cells that its rays reach before they wrap round the map.

#include "effects/VoxelMapHalves.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

struct View {
    float rotation, camX, camY;
};

// Straight ahead, turned either way up to the quarter turn the flight reaches (and a hair past
// it), and cameras on the map's wrapped edges and far into the flight.
const View views[] = {
    {0.0f, 256.0f, 256.0f},      {0.3f, 0.5f, 511.9f},        {-0.7f, 511.2f, 3.0f},
    {1.5707962f, 100.0f, 40.0f}, {-1.5707962f, 300.0f, 7.5f}, {1.5708f, 17.0f, 480.0f},
    {1.2f, 40000.3f, 123456.7f}, {-1.4f, 8.0f, 250.0f},
};

// Which half each cell falls in: 0 or 1, -1 where no part holds it, 2 where several do.
std::vector<int> halfOfEachCell(const VoxelMapHalves& halves) {
    constexpr int size = VoxelMapHalves::size;
    std::vector<int> half(size * size, -1);
    for (int part = 0; part < VoxelMapHalves::parts; ++part)
        halves.forEachSpan(part, part + 1, [&](int first, int end) {
            EXPECT_LT(first, end);
            EXPECT_EQ(first / size, (end - 1) / size) << "a span crosses a row";
            EXPECT_EQ(first % 16, 0);
            EXPECT_EQ(end % 16, 0);
            for (int cell = first; cell < end; ++cell)
                half[cell] = half[cell] == -1 ? part / size : 2;
        });
    return half;
}

} // namespace

TEST(VoxelMapHalves, EveryCellFallsInExactlyOneHalfInWholeLines) {
    for (const View& view : views) {
        std::vector<int> half = halfOfEachCell(VoxelMapHalves(view.rotation, view.camX, view.camY));
        int first = 0;
        for (std::size_t cell = 0; cell < half.size(); ++cell) {
            ASSERT_TRUE(half[cell] == 0 || half[cell] == 1)
                << "cell " << cell << " is in " << (half[cell] < 0 ? "no" : "both") << " halves, rotation "
                << view.rotation;
            first += half[cell] == 0;
        }
        // A line through the camera cuts the wrapped map in two equal halves, give or take the
        // rounding of each row's cut to 16 cells.
        EXPECT_NEAR(first, 512 * 512 / 2, 512 * 16) << "rotation " << view.rotation;
    }
}

TEST(VoxelMapHalves, RaysZeroTo255CrossTheFirstHalfUntilTheyWrap) {
    for (const View& view : views) {
        VoxelMapHalves halves(view.rotation, view.camX, view.camY);
        std::vector<int> half = halfOfEachCell(halves);
        for (int ray = 0; ray < 512; ++ray) {
            double theta = ray * 2 * M_PI / 512 + view.rotation;
            for (double distance = 30; distance <= 200; distance += 10) {
                long column = std::lround(std::floor(view.camX + distance * std::sin(theta)));
                long row = std::lround(std::floor(view.camY + distance * std::cos(theta)));
                // Within 24 cells of the cut a cell may go either way.
                if (distance * std::abs(std::sin(ray * 2 * M_PI / 512)) < 24)
                    continue;
                int cell = int((row & 511) * 512 + (column & 511));
                ASSERT_EQ(half[cell], ray < 256 ? 0 : 1)
                    << "ray " << ray << " at " << distance << " cells, rotation " << view.rotation;
            }
        }
    }
}
