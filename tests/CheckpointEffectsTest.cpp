// Checkpoint round trips of the moving effects: the mappers, the movie, the flights, the warp, the
// particle systems and the lens. Each schedule plays the cues the show gives the class, takes the
// layer out of the list for a stretch and checkpoints where the state that matters is in flight.

#include "BandedTestSupport.h"
#include "CheckpointTestSupport.h"
#include "TestLayerList.h"
#include "effects/FeedbackMapLayer.h"
#include "effects/GridMapLayer.h"
#include "effects/GridMovieLayer.h"
#include "effects/IfsFractalLayer.h"
#include "effects/LensLayer.h"
#include "effects/ParticleFlowLayer.h"
#include "effects/ParticleRingLayer.h"
#include "effects/ParticleStreamsLayer.h"
#include "effects/PolarVoxelLayer.h"
#include "effects/RadialBlurLayer.h"
#include "effects/SwirlMapLayer.h"
#include "effects/TerrainLayer.h"
#include "effects/WarpLayer.h"

#include <gtest/gtest.h>

namespace {

// Pictures of the show's sizes with seeded contents.
struct EffectPictures {
    EffectPictures() {
        fillRandom(texture.storage, 21);
        fillRandom(secondTexture.storage, 22);
        fillRandom(light.storage, 23);
        fillRandom(lower.storage, 24);
        for (TestPicture& picture : screenPictures)
            fillRandom(picture.storage, 25 + static_cast<unsigned>(&picture - screenPictures));
    }
    TestPicture texture{512, 512}, secondTexture{512, 512}, light{512, 512}, lower{512, 384};
    TestPicture screenPictures[4] = {{512, 384}, {512, 384}, {512, 384}, {512, 384}};
    std::vector<std::uint8_t> heights = smoothHeights(512, 512);
    std::vector<std::uint8_t> otherHeights = randomBytes(512 * 512, 31);
};

bool present(int frame, int absentFrom, int absentUntil) {
    return frame < absentFrom || frame >= absentUntil;
}

} // namespace

TEST(LayerCheckpoint, GridMap) {
    EffectPictures pictures;
    CheckpointRoundTrip<GridMapLayer> roundTrip(CheckpointSchedule<GridMapLayer>{
        [&] { return std::make_unique<GridMapLayer>(pictures.texture.bitmap); },
        [&](GridMapLayer&, int frame, Bitmap& target) {
            paintBackdrop(target, pictures.lower.storage, frame);
            return present(frame, 8, 12);
        }});
    roundTrip.expectExactAfter(10, 8);
}

// Ripples kicked on the beat, the twist started (once while out of the list, so that it is still
// armed at the checkpoint) and reset.
TEST(LayerCheckpoint, SwirlMap) {
    EffectPictures pictures;
    CheckpointRoundTrip<SwirlMapLayer> roundTrip(CheckpointSchedule<SwirlMapLayer>{
        [&] { return std::make_unique<SwirlMapLayer>(pictures.texture.bitmap); },
        [&](SwirlMapLayer& layer, int frame, Bitmap& target) {
            if (frame == 4 || frame == 30)
                layer.pulse();
            if (frame == 12 || frame == 42)
                layer.startTwist();
            if (frame == 55)
                layer.reset();
            bool drawn = present(frame, 36, 46);
            if (!drawn)
                paintBackdrop(target, pictures.lower.storage, frame);
            return drawn;
        }});
    roundTrip.expectExactAfter(8, 24);  // the ripple decaying, the twist to start
    roundTrip.expectExactAfter(33, 30); // twisting, with a fresh ripple
    roundTrip.expectExactAfter(44, 20); // out of the list, the twist armed
}

TEST(LayerCheckpoint, FeedbackMap) {
    EffectPictures pictures;
    CheckpointRoundTrip<FeedbackMapLayer> roundTrip(CheckpointSchedule<FeedbackMapLayer>{
        [&] {
            return std::make_unique<FeedbackMapLayer>(pictures.screenPictures[0].bitmap, pictures.screenPictures[1].bitmap,
                                                      pictures.screenPictures[2].bitmap, pictures.screenPictures[3].bitmap);
        },
        [&](FeedbackMapLayer& layer, int frame, Bitmap& target) {
            if (frame == 10 || frame == 22 || frame == 38)
                layer.nextPicture();
            bool drawn = present(frame, 26, 34);
            if (!drawn)
                paintBackdrop(target, pictures.lower.storage, frame);
            return drawn;
        }});
    roundTrip.expectExactAfter(16, 24); // on the second picture, the feedback built up
    roundTrip.expectExactAfter(30, 14); // out of the list, on the third
}

// A movie of 10 frames played at 30 per second, jumped and skipped by the cues.
TEST(LayerCheckpoint, GridMovie) {
    EffectPictures pictures;
    TestPicture movie(GridMovieLayer::frameSize, 10);
    fillRandom(movie.storage, 41);
    CheckpointRoundTrip<GridMovieLayer> roundTrip(CheckpointSchedule<GridMovieLayer>{
        [&] { return std::make_unique<GridMovieLayer>(movie.bitmap, 30.0); },
        [&](GridMovieLayer& layer, int frame, Bitmap& target) {
            if (frame == 3)
                layer.setFrame(7);
            if (frame == 14 || frame == 40)
                layer.skipFrames(-3);
            if (frame == 29)
                layer.skipFrames(4);
            bool drawn = present(frame, 20, 28);
            if (!drawn)
                paintBackdrop(target, pictures.lower.storage, frame);
            return drawn;
        }});
    roundTrip.expectExactAfter(17, 30); // after a skip, mid-blend
    roundTrip.expectExactAfter(24, 20); // out of the list
}

// The camera's pitch eases per frame from its start, so an early checkpoint catches it.
TEST(LayerCheckpoint, Terrain) {
    EffectPictures pictures;
    CheckpointRoundTrip<TerrainLayer> roundTrip(CheckpointSchedule<TerrainLayer>{
        [&] { return std::make_unique<TerrainLayer>(pictures.texture.bitmap, pictures.heights.data()); },
        [&](TerrainLayer&, int frame, Bitmap& target) {
            bool drawn = present(frame, 20, 30);
            if (!drawn)
                paintBackdrop(target, pictures.lower.storage, frame);
            return drawn;
        }});
    roundTrip.expectExactAfter(8, 20);
    roundTrip.expectExactAfter(25, 12);
}

namespace {

// Draws a mark, so that the frame shows whether it is in the list.
class MarkLayer : public Layer {
  public:
    explicit MarkLayer(std::uint32_t colour) : colour(colour) {}
    void render(Bitmap& target, double) override { std::fill_n(target.pixels, 4096, colour); }
    void archiveState(StateArchive&) override {}

  private:
    std::uint32_t colour;
};

bool listed(const LayerList& list, const Layer* layer) {
    for (const LayerNode* node = &list; node != nullptr; node = node->next)
        if (node->layer == layer)
            return true;
    return false;
}

// The list of the layers below, as the driver's part of a checkpoint holds it.
struct ListBelow {
    MarkLayer terrain{0x00FF00}, maskedPicture{0x0000FF};
    TestLayerList list;

    void archive(StateArchive& archive) {
        bool present[2] = {listed(list, &terrain), listed(list, &maskedPicture)};
        archive(present);
        if (!archive.isSaving())
            reset(present[0], present[1]);
    }
    void reset(bool withTerrain, bool withMaskedPicture) {
        for (Layer* layer : {static_cast<Layer*>(&terrain), static_cast<Layer*>(&maskedPicture)})
            while (listed(list, layer))
                list.remove(layer);
        if (withTerrain)
            list.insert(&terrain, 1);
        if (withMaskedPicture)
            list.insert(&maskedPicture, 1);
    }
};

} // namespace

// The warp photographs what was drawn below on its first frame and takes the two layers that drew
// it out of the list; from then on it feeds back on itself. One of them comes back later, and must
// stay: only the first frame retires them.
TEST(LayerCheckpoint, Warp) {
    EffectPictures pictures;
    constexpr int firstWarpFrame = 10;
    ListBelow below;
    MarkLayer& terrain = below.terrain;
    MarkLayer& maskedPicture = below.maskedPicture;
    TestLayerList& list = below.list;
    CheckpointRoundTrip<WarpLayer> roundTrip(CheckpointSchedule<WarpLayer>{
        [&] {
            auto warp = std::make_unique<WarpLayer>(pictures.texture.bitmap);
            warp->retireOnFirstFrame(&terrain, &maskedPicture);
            layerList = &list;
            return warp;
        },
        [&](WarpLayer&, int frame, Bitmap& target) {
            if (frame == 0)
                below.reset(true, true);
            if (frame == firstWarpFrame + 2)
                list.insert(&maskedPicture, 1);
            if (frame <= firstWarpFrame)
                paintBackdrop(target, pictures.lower.storage, frame);
            list.renderAll(target, frame / 60.0);
            return frame >= firstWarpFrame;
        },
        60.0, [&](StateArchive& archive) { below.archive(archive); }});
    roundTrip.expectExactAfter(firstWarpFrame - 2, 12); // the first frame still to come
    roundTrip.expectExactAfter(firstWarpFrame + 4, 20); // blending in, then fully blended
}

// The cloud's spread shrinks for the first frames; the palette shifts twice.
TEST(LayerCheckpoint, IfsFractal) {
    EffectPictures pictures;
    CheckpointRoundTrip<IfsFractalLayer> roundTrip(CheckpointSchedule<IfsFractalLayer>{
        [&] { return std::make_unique<IfsFractalLayer>(4000, pictures.light.bitmap); },
        [&](IfsFractalLayer& layer, int frame, Bitmap& target) {
            paintBackdrop(target, pictures.lower.storage, frame);
            if (frame == 9 || frame == 36)
                layer.shiftPalette();
            return present(frame, 20, 30);
        }});
    roundTrip.expectExactAfter(12, 16); // mid palette blend, spread still shrinking
    roundTrip.expectExactAfter(25, 20); // out of the list
}

// A spark system of `count` sparks, out of the list from `absentFrom` to frame 32, checkpointed
// before `first` and `second` (20 and 10 frames drawn on); on one thread and on two, where the
// sparks are moved and drawn in bands.
template <class SparkLayer> void expectSparkRoundTrips(int count, int absentFrom, int first, int second) {
    for (int threads : {1, 2}) {
        SCOPED_TRACE(std::to_string(threads) + " threads");
        BandThreadsGuard guard(threads);
        EffectPictures pictures;
        CheckpointRoundTrip<SparkLayer> roundTrip(CheckpointSchedule<SparkLayer>{
            [count] { return std::make_unique<SparkLayer>(count); },
            [&](SparkLayer&, int frame, Bitmap& target) {
                paintBackdrop(target, pictures.lower.storage, frame);
                return present(frame, absentFrom, 32);
            }});
        roundTrip.expectExactAfter(first, 20);
        roundTrip.expectExactAfter(second, 10);
    }
}

// 3000 sparks (the show fires 16000); they live long enough for the emitters to take turns.
TEST(LayerCheckpoint, ParticleStreams) {
    expectSparkRoundTrips<ParticleStreamsLayer>(3000, 25, 15, 28);
}

// The emitters take turns spark by spark, so the turn at a checkpoint depends on how many sparks
// were fired: 2900 sparks (the show fires 16000) make that number odd at the checkpoints.
TEST(LayerCheckpoint, ParticleRing) {
    expectSparkRoundTrips<ParticleRingLayer>(2900, 26, 16, 29);
}

// The swarm follows the music's level, turns to its second height map and fades out.
TEST(LayerCheckpoint, ParticleFlow) {
    EffectPictures pictures;
    std::vector<std::uint8_t> flow0 = smoothHeights(512, 384);
    std::vector<std::uint8_t> flow1 = randomBytes(512 * 384, 51);
    std::vector<std::uint8_t> sprite = randomBytes(64, 52);
    CheckpointRoundTrip<ParticleFlowLayer> roundTrip(CheckpointSchedule<ParticleFlowLayer>{
        [&] {
            return std::make_unique<ParticleFlowLayer>(2000, flow0.data(), flow1.data(), nullptr, nullptr,
                                                       sprite.data());
        },
        [&](ParticleFlowLayer& layer, int frame, Bitmap& target) {
            musicLevel = (frame * 37) % 300;
            paintBackdrop(target, pictures.lower.storage, frame);
            if (frame == 30)
                layer.nextFlowMap();
            if (frame == 60)
                layer.fadeOut();
            return present(frame, 40, 48);
        }});
    roundTrip.expectExactAfter(34, 22); // on the second map, out of the list for a while
    roundTrip.expectExactAfter(64, 12); // fading out
}

TEST(LayerCheckpoint, Lens) {
    EffectPictures pictures;
    CheckpointRoundTrip<LensLayer> roundTrip(CheckpointSchedule<LensLayer>{
        [&] {
            return std::make_unique<LensLayer>(pictures.texture.bitmap, pictures.secondTexture.bitmap,
                                               pictures.lower.bitmap);
        },
        [&](LensLayer& layer, int frame, Bitmap& target) {
            paintBackdrop(target, pictures.lower.storage, frame);
            if (frame == 6 || frame == 30)
                layer.shuffleSpeeds();
            return present(frame, 18, 26);
        }});
    roundTrip.expectExactAfter(12, 24); // drifting at shuffled speeds, then out and back
    roundTrip.expectExactAfter(22, 12); // out of the list
}

// On its own the blur smears the picture left by earlier frames further every frame.
TEST(LayerCheckpoint, RadialBlur) {
    EffectPictures pictures;
    CheckpointRoundTrip<RadialBlurLayer> roundTrip(CheckpointSchedule<RadialBlurLayer>{
        [] { return std::make_unique<RadialBlurLayer>(); },
        [&](RadialBlurLayer& layer, int frame, Bitmap& target) {
            if (frame % 8 == 0)
                paintBackdrop(target, pictures.lower.storage, frame);
            if (frame == 3) {
                layer.setParameters(0.1f, 0.5f);
                layer.setCentre(100.5f, 80.0f);
            }
            if (frame == 20)
                layer.setCentre(300.0f, 200.0f);
            return true;
        }});
    roundTrip.expectExactAfter(6, 20);
}

// The landscape switches to its second set while the round trip runs from a checkpoint taken
// before the switch, so restoring must also switch back.
TEST(LayerCheckpoint, PolarVoxel) {
    EffectPictures pictures;
    std::vector<std::uint8_t> m1 = randomBytes(512 * 512, 61);
    std::vector<std::uint8_t> m2 = smoothHeights(512, 512);
    std::reverse(m2.begin(), m2.end());
    CheckpointRoundTrip<PolarVoxelLayer> roundTrip(CheckpointSchedule<PolarVoxelLayer>{
        [&] {
            return std::make_unique<PolarVoxelLayer>(pictures.texture.bitmap, pictures.secondTexture.bitmap,
                                                     pictures.light.bitmap, pictures.heights.data(), m1.data(),
                                                     m2.data(), pictures.otherHeights.data());
        },
        [&](PolarVoxelLayer& layer, int frame, Bitmap& target) {
            paintBackdrop(target, pictures.lower.storage, frame);
            if (frame == 16)
                layer.switchSet();
            return present(frame, 8, 12);
        }});
    roundTrip.expectExactAfter(6, 14);
    roundTrip.expectExactAfter(18, 6);
}
