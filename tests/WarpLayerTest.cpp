#include "effects/WarpLayer.h"
#include "core/ShowObjects.h"
#include "effects/MaskedPictureLayer.h"
#include "effects/TerrainLayer.h"
#include "platform/ptc/Error.h"
#include "TestLayerList.h"
#include "timeline/LayerList.h"

#include "EffectTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class OpenWarp : public WarpLayer {
  public:
    using WarpLayer::blend;
    using WarpLayer::blendPlain;
    using WarpLayer::WarpLayer;
};

// Counts the frames it is drawn.
class CountingLayer : public Layer {
  public:
    void render(Bitmap&, double) override { ++frames; }
    void archiveState(StateArchive&) override {}
    int frames = 0;
};

struct WarpFixture : ::testing::Test {
    WarpFixture()
        : bufferA(workBufferWords), bufferB(workBufferWords, 0x00ABCDEF), picture(512, 512),
          screen(512, 384) {
        workBufferA = bufferA.data();
        workBufferB = bufferB.data();
        layerList = &list;
    }
    ~WarpFixture() override {
        workBufferA = workBufferB = nullptr;
        layerList = nullptr;
    }

    std::vector<std::uint32_t> bufferA, bufferB;
    TestLayerList list;
    TestPicture picture, screen;
};

} // namespace

using WarpLayerTest = WarpFixture;

// At time 0 every wave stands still: the zoom is 8064 and pixel (288, 96) samples feedback texel
// (287, 159), screen pixel (287, 95) of the photograph, with fractions 0 (weight 254).
TEST_F(WarpLayerTest, FirstFramePhotographsAndDistortsTheScreen) {
    screen[95 * 512 + 287] = 0x00FF8040;
    OpenWarp warp(picture.bitmap);
    warp.render(screen.bitmap, 0.0);
    // (c * 254 >> 8) * 255 >> 8 per channel: 255 -> 253 -> 252, 128 -> 127 -> 126, 64 -> 63 -> 62.
    EXPECT_EQ(screen[96 * 512 + 288], 0x00FC7E3Eu);
    // Pixel (256, 64) samples (255.5, 127.5), between four black texels: black.
    EXPECT_EQ(screen[64 * 512 + 256], 0u);
    // The bands above and below the screen are black; between them the output was fed back.
    for (int i = 0; i < 64 * 512; ++i) {
        ASSERT_EQ(bufferB[i], 0u);
        ASSERT_EQ(bufferB[448 * 512 + i], 0u);
    }
    for (int n = 0; n < screenPixelCount; ++n)
        ASSERT_EQ(bufferB[64 * 512 + n], screen[n]);
}

// A patterned photograph warped at 66.6 s, where six of the phase products overflow 32 bits (and wrap,
// which leaves their angles as they are); the expected
// pixels were worked out separately from the table sines, outside this code base.
TEST_F(WarpLayerTest, FirstFrameAtALaterTime) {
    for (int y = 0; y < 384; ++y)
        for (int x = 0; x < 512; ++x)
            screen[y * 512 + x] = std::uint32_t((x * 3 + y) & 0xFF) << 16 |
                                  std::uint32_t((x ^ y) & 0xFF) << 8 | std::uint32_t((y * 7) & 0xFF);
    OpenWarp warp(picture.bitmap);
    warp.render(screen.bitmap, 66.6);
    struct Expected {
        int x, y;
        std::uint32_t pixel;
    };
    for (Expected e : {Expected{0, 0, 0x180025}, Expected{100, 50, 0x71587F}, Expected{256, 192, 0xC0BD3F},
                       Expected{511, 383, 0x6F7D63}, Expected{400, 10, 0xB48D6A}, Expected{3, 300, 0x48212E}})
        EXPECT_EQ(screen[e.y * 512 + e.x], e.pixel) << e.x << ", " << e.y;
}

TEST_F(WarpLayerTest, WhiteScreenLosesBrightnessByTheWeights) {
    std::fill(screen.storage.begin(), screen.storage.end(), 0x00FFFFFFu);
    OpenWarp warp(picture.bitmap);
    warp.render(screen.bitmap, 0.0);
    // Zero fractions: 255 * 254 >> 8 = 253, then * 255 >> 8 = 252.
    EXPECT_EQ(screen[96 * 512 + 288], 0x00FCFCFCu);
    // Half fractions: weights 63 + 63 + 63 + 64 = 253: 255 -> 252 -> 251.
    EXPECT_EQ(screen[64 * 512 + 256], 0x00FBFBFBu);
}

TEST_F(WarpLayerTest, FirstFrameRetiresTerrainAndMaskedPictureOnce) {
    TestPicture colours(512, 512), masked(512, 384);
    std::vector<std::uint8_t> heights(512 * 512, 0), mask(512 * 384, 0);
    TerrainLayer terrainLayer(colours.bitmap, heights.data());
    MaskedPictureLayer maskedLayer(masked.bitmap, mask.data());
    CountingLayer below, above;
    OpenWarp warp(picture.bitmap);
    warp.retireOnFirstFrame(&terrainLayer, &maskedLayer);
    list.insert(&below, 1);
    list.insert(&terrainLayer, 2);
    list.insert(&maskedLayer, 3);
    list.insert(&warp, 5);
    list.insert(&above, 6);
    list.renderAll(screen.bitmap, 1.0);
    for (LayerNode* node = &list; node != nullptr; node = node->next) {
        EXPECT_NE(node->layer, static_cast<Layer*>(&terrainLayer));
        EXPECT_NE(node->layer, static_cast<Layer*>(&maskedLayer));
    }
    // Put back in, they stay: only the first frame retires them.
    list.insert(&terrainLayer, 2);
    list.renderAll(screen.bitmap, 1.1);
    int held = 0;
    for (LayerNode* node = &list; node != nullptr; node = node->next)
        held += node->layer == static_cast<Layer*>(&terrainLayer);
    EXPECT_EQ(held, 1);
    EXPECT_EQ(below.frames, 2);
    EXPECT_EQ(above.frames, 2);
}

TEST_F(WarpLayerTest, FirstFrameWithTheTwoLayersAbsent) {
    OpenWarp warp(picture.bitmap);
    list.insert(&warp, 5);
    list.renderAll(screen.bitmap, 1.0);
    // Nothing else was in the list, and the warp stays.
    EXPECT_EQ(list.layer, static_cast<Layer*>(nullptr));
    ASSERT_NE(list.next, nullptr);
    EXPECT_EQ(list.next->layer, static_cast<Layer*>(&warp));
}

TEST_F(WarpLayerTest, BlendWeightRampsFromZeroToSixteen) {
    OpenWarp warp(picture.bitmap);
    for (int frame = 0; frame < 20; ++frame) {
        EXPECT_EQ(warp.blend, std::min(frame, 16));
        warp.render(screen.bitmap, frame / 60.0);
    }
    // The blend at full weight: (P * 16 + W * 239) >> 8 per channel, written to screen and feedback.
    std::fill(bufferA.begin(), bufferA.begin() + screenPixelCount, 0x000000FFu);
    std::fill(picture.storage.begin(), picture.storage.end(), 0x00FF0000u);
    warp.blendPlain(screen.bitmap.pixels, 16);
    EXPECT_EQ(screen[1000], 0x000F00EEu);
    EXPECT_EQ(bufferB[64 * 512 + 1000], 0x000F00EEu);
    // At weight 0 the picture does not show.
    warp.blendPlain(screen.bitmap.pixels, 0);
    EXPECT_EQ(screen[1000], 0x000000FEu);
}

TEST_F(WarpLayerTest, RefusesASmallPicture) {
    TestPicture small(512, 384);
    EXPECT_THROW(WarpLayer{small.bitmap}, ptc::DynamicError);
}

TEST_F(WarpLayerTest, VectorPathsMatchThePlainLoops) {
    fillRandom(picture.storage, 11);
    TestPicture start(512, 384);
    fillRandom(start.storage, 12);
    for (SimdLevel level : vectorLevels()) {
        std::vector<std::uint32_t> plainA(workBufferWords), plainB(workBufferWords);
        workBufferA = plainA.data();
        workBufferB = plainB.data();
        OpenWarp plainWarp(picture.bitmap);
        TestPicture plainScreen = start;
        plainScreen.bitmap.pixels = plainScreen.storage.data();
        workBufferA = bufferA.data();
        workBufferB = bufferB.data();
        OpenWarp vectorWarp(picture.bitmap);
        TestPicture vectorScreen = plainScreen;
        vectorScreen.bitmap.pixels = vectorScreen.storage.data();
        double seconds = 12.34;
        for (int frame = 0; frame < 24; ++frame, seconds += 0.37) {
            {
                SimdLevelGuard guard(SimdLevel::plain);
                plainWarp.render(plainScreen.bitmap, seconds);
            }
            {
                SimdLevelGuard guard(level);
                vectorWarp.render(vectorScreen.bitmap, seconds);
            }
            ASSERT_EQ(plainScreen.storage, vectorScreen.storage) << "frame " << frame;
        }
        EXPECT_EQ(plainB, bufferB);
    }
}
