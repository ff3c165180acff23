#include "effects/PolarVoxelLayer.h"
#include "platform/ptc/Error.h"

#include "EffectTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

class OpenVoxel : public PolarVoxelLayer {
  public:
    using PolarVoxelLayer::colourMap;
    using PolarVoxelLayer::heightMap;
    using PolarVoxelLayer::horizon;
    using PolarVoxelLayer::polarImage;
    using PolarVoxelLayer::polarTable;
    using PolarVoxelLayer::PolarVoxelLayer;
};

std::vector<std::uint8_t> hills(unsigned seed) {
    std::mt19937 generator(seed);
    std::vector<std::uint8_t> map(512 * 512);
    double p = (generator() % 628) / 100.0;
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
            double h = 120 + 80 * std::sin(x * 0.0245 + p) * std::cos(y * 0.0368) + double(generator() % 16);
            map[y * 512 + x] = static_cast<std::uint8_t>(std::max(0.0, std::min(255.0, h)));
        }
    return map;
}

struct VoxelFixture : ::testing::Test {
    VoxelFixture()
        : a(512, 512, 0x00F0F0F0), b(512, 512, 0x00102030), c(512, 512, 0x000F0F0F), m0(512 * 512, 200),
          m1(512 * 512, 100), m2(512 * 512, 40), m3(512 * 512, 20) {}
    OpenVoxel make() {
        return OpenVoxel(a.bitmap, b.bitmap, c.bitmap, m0.data(), m1.data(), m2.data(), m3.data());
    }

    TestPicture a, b, c;
    std::vector<std::uint8_t> m0, m1, m2, m3;
};

constexpr std::uint32_t lowerLayers = 0x00C0FFEE;

// Every screen pixel shows its polar entry, or keeps the lower layers' colour where that is empty.
void expectScreenFollowsPolarImage(const OpenVoxel& voxel, const TestPicture& screen) {
    int kept = 0, drawn = 0;
    for (int k = 0; k < screenPixelCount; ++k) {
        std::uint32_t entry = voxel.polarImage[voxel.polarTable[k]];
        if (entry == PolarVoxelLayer::emptyEntry) {
            ASSERT_EQ(screen.storage[k], lowerLayers) << k;
            ++kept;
        } else {
            ASSERT_EQ(entry >> 24, 0u);
            ASSERT_EQ(screen.storage[k], entry) << k;
            ++drawn;
        }
    }
    EXPECT_GT(kept, 0);
    EXPECT_GT(drawn, 0);
}

} // namespace

using PolarVoxelLayerTest = VoxelFixture;

// Screen centre: ray 0, radius 0. Top centre: angle pi/2 -> 128.0000006 -> ray 128, radius 192.
// Left middle: angle pi -> ray 256, radius 256. Bottom centre: -pi/2 -> -128 -> ray 384, radius 191.
TEST_F(PolarVoxelLayerTest, PolarTableNamesRayAndRadius) {
    OpenVoxel voxel = make();
    EXPECT_EQ(voxel.polarTable[192 * 512 + 256], 0u);
    EXPECT_EQ(voxel.polarTable[256], (128u << 9) | 192u);
    EXPECT_EQ(voxel.polarTable[192 * 512], (256u << 9) | 256u);
    EXPECT_EQ(voxel.polarTable[383 * 512 + 256], (384u << 9) | 191u);
    // Top-left corner (-256, 192): radius 320.
    EXPECT_EQ(voxel.polarTable[0] & 511, 320u);
}

TEST_F(PolarVoxelLayerTest, EmptyEntriesKeepTheLowerLayers) {
    m0 = hills(1);
    m1 = hills(2);
    fillRandom(a.storage, 3);
    OpenVoxel voxel = make();
    TestPicture screen(512, 384);
    for (double seconds : {0.0, 7.5, 31.0}) {
        std::fill(screen.storage.begin(), screen.storage.end(), lowerLayers);
        voxel.render(screen.bitmap, seconds);
        expectScreenFollowsPolarImage(voxel, screen);
        // Each ray's row is drawn up to its horizon and empty from there on.
        for (int ray = 0; ray < 512; ++ray) {
            for (int e = 0; e < 512; ++e)
                ASSERT_EQ(voxel.polarImage[ray * 512 + e] == PolarVoxelLayer::emptyEntry,
                          e >= voxel.horizon[ray])
                    << "ray " << ray << " entry " << e;
        }
    }
}

TEST_F(PolarVoxelLayerTest, FlatLowGroundLeavesTheOuterScreen) {
    // At time 0 the gain is 1 and the base 0: distances follow the height of 30 alone.
    std::fill(m0.begin(), m0.end(), 30);
    std::fill(m1.begin(), m1.end(), 30);
    OpenVoxel voxel = make();
    TestPicture screen(512, 384, lowerLayers);
    voxel.render(screen.bitmap, 0.0);
    expectScreenFollowsPolarImage(voxel, screen);
    EXPECT_EQ(screen.storage[0], lowerLayers);
    EXPECT_EQ(screen.storage[383 * 512 + 511], lowerLayers);
}

// At time 0 the blend weight is (sin 0 + 8192) >> 6 = 128.
TEST_F(PolarVoxelLayerTest, HeightsBlendAndSwitchSetChangesPicturesAndHeights) {
    OpenVoxel voxel = make();
    TestPicture screen(512, 384);
    voxel.render(screen.bitmap, 0.0);
    EXPECT_EQ(voxel.heightMap[1234], (200 * 128 + 100 * 127) >> 8);
    // 0xF0 + 0x0F saturates nowhere, 0xF0F0F0 + 0x0F0F0F = 0xFFFFFF exactly.
    EXPECT_EQ(voxel.colourMap[1234] & 0x00FFFFFF, 0x00FFFFFFu);
    voxel.switchSet();
    voxel.switchSet();
    voxel.render(screen.bitmap, 0.0);
    EXPECT_EQ(voxel.heightMap[1234], (40 * 128 + 20 * 127) >> 8);
    EXPECT_EQ(voxel.colourMap[1234] & 0x00FFFFFF, 0x001F2F3Fu);
}

TEST_F(PolarVoxelLayerTest, LightSaturatesPerChannel) {
    std::fill(c.storage.begin(), c.storage.end(), 0x0020F010);
    OpenVoxel voxel = make();
    TestPicture screen(512, 384);
    voxel.render(screen.bitmap, 0.0);
    // 0xF0 + 0x20, 0xF0 + 0xF0 and 0xF0 + 0x10: each channel capped at 255 on its own.
    EXPECT_EQ(voxel.colourMap[77] & 0x00FFFFFF, 0x00FFFFFFu);
    std::fill(a.storage.begin(), a.storage.end(), 0x00100010);
    OpenVoxel dim = make();
    dim.render(screen.bitmap, 0.0);
    EXPECT_EQ(dim.colourMap[77] & 0x00FFFFFF, 0x0030F020u);
}

TEST_F(PolarVoxelLayerTest, RefusesSmallPictures) {
    TestPicture small(512, 384);
    EXPECT_THROW(OpenVoxel(small.bitmap, b.bitmap, c.bitmap, m0.data(), m1.data(), m2.data(), m3.data()),
                 ptc::DynamicError);
    EXPECT_THROW(OpenVoxel(a.bitmap, b.bitmap, small.bitmap, m0.data(), m1.data(), m2.data(), m3.data()),
                 ptc::DynamicError);
}

TEST_F(PolarVoxelLayerTest, VectorPathsMatchThePlainLoops) {
    m0 = hills(4);
    m1 = hills(5);
    m2 = hills(6);
    m3 = hills(7);
    fillRandom(a.storage, 8);
    fillRandom(b.storage, 9);
    fillRandom(c.storage, 10);
    for (SimdLevel level : vectorLevels()) {
        OpenVoxel plain = make(), vector = make();
        TestPicture plainScreen(512, 384, lowerLayers), vectorScreen(512, 384, lowerLayers);
        int frame = 0;
        // Late times too, where the camera position has wrapped past the int32 range.
        for (double seconds : {0.0, 1.3, 2.9, 44.4, 180.0, 600.0, 90000.0}) {
            {
                SimdLevelGuard guard(SimdLevel::plain);
                plain.render(plainScreen.bitmap, seconds);
            }
            {
                SimdLevelGuard guard(level);
                vector.render(vectorScreen.bitmap, seconds);
            }
            ASSERT_EQ(plainScreen.storage, vectorScreen.storage) << "frame " << frame;
            if (++frame == 3)
                plain.switchSet(), vector.switchSet();
        }
    }
}

// Two frames of patterned pictures, at 12.7 s and 13.1 s; the expected screen pixels (0 for "kept")
// were worked out separately, ray by ray, outside this code base. The second frame shrinks some
// rays, whose ends must then show the lower layers again.
TEST(PolarVoxelLayerFrames, PatternedLandscapeInTwoFrames) {
    TestPicture a(512, 512), b(512, 512), c(512, 512);
    std::vector<std::uint8_t> m0(512 * 512), m1(512 * 512), unused(512 * 512);
    for (int i = 0; i < 512 * 512; ++i) {
        std::uint32_t x = i & 511, y = i >> 9;
        a[i] = ((x * 3) & 0xFF) << 16 | ((y * 2) & 0xFF) << 8 | ((x + y) & 0xFF);
        c[i] = ((x ^ y) & 0x7F) << 16 | ((x * 5 + y) & 0x3F) << 8 | ((y * 3) & 0x7F);
        m0[i] = std::uint8_t(int(120 + 90 * std::sin(x * 0.049) * std::cos(y * 0.037)));
        m1[i] = std::uint8_t((x + 2 * y) & 255);
    }
    struct Expected {
        int x, y;
        std::uint32_t first, second;
    };
    const Expected expected[] = {{256, 192, 3796827, 4868481},
                                 {300, 180, 4323202, 6306723},
                                 {200, 250, 14480709, 16659562},
                                 {256, 50, 0, 0},
                                 {10, 10, 0, 0},
                                 {500, 370, 0, 0},
                                 {100, 192, 10911986, 0},
                                 {400, 100, 16383612, 11621567},
                                 {256, 300, 15608967, 16666025},
                                 {150, 80, 6909130, 0}};
    for (SimdLevel level : {SimdLevel::plain, SimdLevel::sse2}) {
        SimdLevelGuard guard(level);
        PolarVoxelLayer voxel(a.bitmap, b.bitmap, c.bitmap, m0.data(), m1.data(), unused.data(),
                              unused.data());
        TestPicture screen(512, 384, 0);
        voxel.render(screen.bitmap, 12.7);
        for (const Expected& e : expected)
            EXPECT_EQ(screen[e.y * 512 + e.x], e.first) << e.x << ", " << e.y;
        std::fill(screen.storage.begin(), screen.storage.end(), 0u);
        voxel.render(screen.bitmap, 13.1);
        for (const Expected& e : expected)
            EXPECT_EQ(screen[e.y * 512 + e.x], e.second) << e.x << ", " << e.y;
    }
}
