#include "effects/LensLayer.h"
#include "core/PixelOps.h"
#include "core/Random.h"
#include "core/ShowObjects.h"
#include "effects/Lens.h"
#include "platform/ptc/Error.h"

#include "EffectTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <limits>
#include <vector>

namespace {

constexpr std::uint32_t untouched = 0xDEADBEEF;

// Screen and work image with a guard band after them; textures whose texels name their index.
struct LensFixture : ::testing::Test {
    LensFixture()
        : target(512 * 384 + 1024, untouched), work(512 * 384 + 1024, untouched), visible(512 * 512),
          rays(512 * 512) {
        for (int i = 0; i < 512 * 512; ++i) {
            visible[i] = std::uint32_t(i);
            rays[i] = std::uint32_t(i) | 0x00800000;
        }
        targetBitmap.pixels = target.data();
        workBitmap.pixels = work.data();
        lens.setTextures(visible.data(), rays.data());
    }
    std::uint32_t at(int x, int y) const { return target[y * 512 + x]; }
    bool drawn(int x, int y) const { return at(x, y) != untouched; }
    bool guardsIntact() const {
        for (int i = 512 * 384; i < 512 * 384 + 1024; ++i)
            if (target[i] != untouched || work[i] != untouched)
                return false;
        return true;
    }

    std::vector<std::uint32_t> target, work, visible, rays;
    Bitmap targetBitmap, workBitmap;
    Lens lens;
};

class OpenLensLayer : public LensLayer {
  public:
    using LensLayer::LensLayer;
    using LensLayer::speeds;
};

} // namespace

using LensTest = LensFixture;

TEST_F(LensTest, CentreShowsTexelZeroInBothImages) {
    lens.setCentre(256.0f, 192.0f);
    lens.setRadius(100.0f);
    lens.setOffset(0.0f, 0.0f, 3.1415f);
    lens.draw(targetBitmap, workBitmap);
    EXPECT_EQ(at(256, 192), 0u);
    EXPECT_EQ(work[192 * 512 + 256], 0x00800000u);
    // Rows 92 .. 292 and columns 156 .. 355 at the centre row; the pixel at the right end is not drawn.
    EXPECT_TRUE(drawn(156, 192));
    EXPECT_TRUE(drawn(355, 192));
    EXPECT_FALSE(drawn(356, 192));
    EXPECT_FALSE(drawn(155, 192));
    // The first and last rows have no width left.
    EXPECT_FALSE(drawn(256, 92));
    EXPECT_TRUE(drawn(256, 93));
    EXPECT_TRUE(drawn(256, 291));
    EXPECT_FALSE(drawn(256, 292));
}

// Texels worked out in single precision, operation by operation, outside this code base.
TEST_F(LensTest, TurnedAndOffsetTextureInSinglePrecision) {
    lens.setCentre(200.0f, 150.0f);
    lens.setRadius(80.0f);
    lens.setOffset(13.5f, -7.25f, 0.6f);
    lens.draw(targetBitmap, workBitmap);
    struct Expected {
        int x, y;
        std::uint32_t texel;
    };
    for (Expected e : {Expected{200, 150, 258573}, Expected{130, 150, 223145}, Expected{269, 150, 30319},
                       Expected{200, 71, 178808}, Expected{170, 120, 229890}, Expected{250, 210, 85534},
                       Expected{140, 175, 247719}}) {
        EXPECT_EQ(at(e.x, e.y), e.texel) << e.x << ", " << e.y;
        EXPECT_EQ(work[e.y * 512 + e.x], e.texel | 0x00800000) << e.x << ", " << e.y;
    }
}

TEST_F(LensTest, DiscIsClippedAtTheScreenEdges) {
    // Cut by the left and top edges: rows from 0, columns from 0, nothing wraps onto the other side.
    lens.setCentre(5.0f, 10.0f);
    lens.setRadius(40.0f);
    lens.draw(targetBitmap, workBitmap);
    EXPECT_TRUE(drawn(0, 0));
    EXPECT_TRUE(drawn(0, 10));
    EXPECT_TRUE(drawn(44, 10));
    EXPECT_FALSE(drawn(45, 10));
    for (int y = 0; y < 384; ++y)
        for (int x = 300; x < 512; ++x)
            ASSERT_FALSE(drawn(x, y)) << x << ", " << y;
    for (int x = 0; x < 512; ++x)
        ASSERT_FALSE(drawn(x, 60));

    // Cut by the right and bottom edges: column 511 is never drawn, the last row is.
    lens.setCentre(500.0f, 380.0f);
    lens.draw(targetBitmap, workBitmap);
    EXPECT_TRUE(drawn(510, 383));
    EXPECT_FALSE(drawn(511, 383));
    EXPECT_FALSE(drawn(511, 380));
    EXPECT_TRUE(guardsIntact());
}

TEST_F(LensTest, DiscsOffTheScreenDrawNothing) {
    struct Place {
        float x, y, r;
    };
    for (Place p : {Place{-100.0f, 192.0f, 50.0f}, Place{700.0f, 192.0f, 50.0f}, Place{256.0f, 500.0f, 50.0f},
                    Place{256.0f, -60.0f, 50.0f}, Place{256.0f, 192.0f, 0.0f}, Place{256.0f, 192.0f, -5.0f},
                    Place{256.0f, 192.0f, std::numeric_limits<float>::quiet_NaN()},
                    Place{std::numeric_limits<float>::infinity(), 192.0f, 50.0f}}) {
        lens.setCentre(p.x, p.y);
        lens.setRadius(p.r);
        lens.draw(targetBitmap, workBitmap);
        for (int i = 0; i < 512 * 384; ++i)
            ASSERT_EQ(target[i], untouched) << p.x << ", " << p.y << ", " << p.r;
    }
}

// The top row of this disc lies 50.3 pixels above the centre, outside the circle: it is skipped.
TEST_F(LensTest, RowOutsideTheCircleIsSkipped) {
    lens.setCentre(256.0f, 192.3f);
    lens.setRadius(50.0f);
    lens.draw(targetBitmap, workBitmap);
    for (int x = 0; x < 512; ++x)
        ASSERT_FALSE(drawn(x, 142));
    EXPECT_TRUE(drawn(256, 143));
}

TEST_F(LensTest, TinyAndHugeDiscsStayInBounds) {
    for (float r : {0.3f, 1.0f, 2.5f, 1.0e6f}) {
        lens.setCentre(256.5f, 192.5f);
        lens.setRadius(r);
        lens.setOffset(1.0e12f, -1.0e12f, 0.7f);
        lens.draw(targetBitmap, workBitmap);
        EXPECT_TRUE(guardsIntact());
    }
}

TEST(LensLayer, ShuffleWithARandomZeroGivesMinusOne) {
    std::vector<std::uint32_t> buffer(workBufferWords);
    workBufferA = buffer.data();
    TestPicture rays(512, 512), lens(512, 512), backdrop(512, 384);
    OpenLensLayer layer(rays.bitmap, lens.bitmap, backdrop.bitmap);
    std::uint32_t saved = randomState;
    // The state before the one that rotates to 157 ^ 157 = 0.
    randomState = std::rotr(157u, 11) - 157u;
    layer.shuffleSpeeds();
    EXPECT_EQ(layer.speeds[0], -1.0);
    for (double speed : layer.speeds) {
        EXPECT_GE(speed, -1.0);
        EXPECT_LT(speed, 1.0);
    }
    randomState = saved;
    workBufferA = nullptr;
}

TEST(LensLayer, RefusesTexturesOfTheWrongSize) {
    TestPicture good(512, 512), small(512, 384);
    EXPECT_THROW(LensLayer(small.bitmap, good.bitmap, good.bitmap), ptc::DynamicError);
    EXPECT_THROW(LensLayer(good.bitmap, small.bitmap, good.bitmap), ptc::DynamicError);
}

// Black rays: outside the disc the lower layers' colours stay, inside the lens texture shows.
TEST(LensLayer, OutsideTheDiscTheScreenKeepsTheLowerLayers) {
    std::vector<std::uint32_t> buffer(workBufferWords);
    workBufferA = buffer.data();
    TestPicture rays(512, 512, 0), lensPicture(512, 512, 0x00ABCDEF), backdrop(512, 384);
    TestPicture screen(512, 384, 0x00123456);
    LensLayer layer(rays.bitmap, lensPicture.bitmap, backdrop.bitmap);
    layer.render(screen.bitmap, 5.0);
    int inside = 0;
    for (std::uint32_t pixel : screen.storage) {
        std::uint32_t colour = pixel & 0x00FFFFFF;
        ASSERT_TRUE(colour == 0x123456 || colour == 0xABCDEF) << std::hex << pixel;
        inside += colour == 0xABCDEF;
    }
    EXPECT_GT(inside, 3000);
    workBufferA = nullptr;
}

TEST(LensLayer, SaturatingAdditionMatchesPerByteSums) {
    std::vector<std::uint32_t> a(1027), b(1027);
    fillRandom(a, 1);
    fillRandom(b, 2);
    std::vector<std::uint32_t> expected(a.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        expected[i] = addSaturateBytes(a[i], b[i]);
    LensLayer::addSaturated(a.data(), b.data(), int(a.size()));
    EXPECT_EQ(a, expected);
}

// The disc a row at a time, bottom row first, is the disc drawn whole: every row's v comes from the
// plan, not from the order the rows are drawn in. Discs inside, across the edges, off the screen
// and without area.
TEST_F(LensTest, RowsDrawnInAnyOrderAreTheWholeDisc) {
    struct Case {
        float x, y, radius, angle;
    };
    const Case cases[] = {{256.0f, 192.0f, 100.0f, 3.1415f}, {20.5f, 370.25f, 143.9f, 1.0f},
                          {500.0f, -30.0f, 60.0f, -2.0f},    {-200.0f, 100.0f, 50.0f, 0.5f},
                          {100.0f, 100.0f, 0.0f, 0.0f},      {300.3f, 10.7f, 0.4f, 2.2f}};
    for (const Case& c : cases) {
        lens.setCentre(c.x, c.y);
        lens.setRadius(c.radius);
        lens.setOffset(13.0f, -7.5f, c.angle);
        std::fill(target.begin(), target.end(), untouched);
        std::fill(work.begin(), work.end(), untouched);
        lens.draw(targetBitmap, workBitmap);
        std::vector<std::uint32_t> wholeTarget = target, wholeWork = work;

        std::fill(target.begin(), target.end(), untouched);
        std::fill(work.begin(), work.end(), untouched);
        Lens::Rows rows;
        lens.plan(rows);
        for (int y = 383; y >= 0; --y)
            lens.drawRow(rows, y, targetBitmap, workBitmap);
        EXPECT_EQ(target, wholeTarget) << "centre " << c.x << ", " << c.y << ", radius " << c.radius;
        EXPECT_EQ(work, wholeWork) << "centre " << c.x << ", " << c.y << ", radius " << c.radius;
    }
}
