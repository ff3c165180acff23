#pragma once
// The checkpoint round trip of one layer class: draw some frames, checkpoint, draw on and record
// every frame, then restore the checkpoint, into the same layer and into one built afresh, and
// expect the very same frames. The checkpoint holds the layer's own state plus what the driver
// archives for the whole show: the picture drawn so far, the work buffers and the random states.

#include "EffectTestSupport.h"
#include "core/Random.h"
#include "core/ShowObjects.h"
#include "core/StateArchive.h"
#include "effects/ParticleFlowLayer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The process-wide objects a layer reaches by name, owned by the test and seeded with contents
// that differ from a fresh start, so that a restore which misses them shows. Restores the
// previous objects when the test ends.
class CheckpointWorld {
  public:
    CheckpointWorld()
        : bufferA(workBufferWords), bufferB(workBufferWords), savedA(workBufferA), savedB(workBufferB),
          savedList(layerList), savedRandom(randomState), savedFlowRandom(flowRandomState),
          savedLevel(musicLevel) {
        fillRandom(bufferA, 71);
        fillRandom(bufferB, 72);
        fillRandom(target.storage, 73);
        workBufferA = bufferA.data();
        workBufferB = bufferB.data();
        layerList = nullptr;
        randomState = initialRandomState;
        flowRandomState = initialFlowRandomState;
        musicLevel = 0;
    }
    ~CheckpointWorld() {
        workBufferA = savedA;
        workBufferB = savedB;
        layerList = savedList;
        randomState = savedRandom;
        flowRandomState = savedFlowRandom;
        musicLevel = savedLevel;
    }
    CheckpointWorld(const CheckpointWorld&) = delete;
    CheckpointWorld& operator=(const CheckpointWorld&) = delete;

    // What the driver archives once for the whole show, besides the layers.
    void archiveShared(StateArchive& archive) {
        archive.buffer(target.storage.data(), target.storage.size());
        archive.buffer(bufferA.data(), bufferA.size());
        archive.buffer(bufferB.data(), bufferB.size());
        archive(randomState, flowRandomState);
    }

    // FNV-1a over the whole frame.
    std::uint64_t frameHash() const {
        std::uint64_t hash = 14695981039346656037ull;
        for (std::uint32_t pixel : target.storage) {
            hash = (hash ^ pixel) * 1099511628211ull;
        }
        return hash;
    }

    TestPicture target{512, 384};

  private:
    std::vector<std::uint32_t> bufferA, bufferB;
    std::uint32_t* savedA;
    std::uint32_t* savedB;
    LayerList* savedList;
    std::uint32_t savedRandom, savedFlowRandom;
    std::int32_t savedLevel;
};

// What the layers below draw in frame `frame`: `picture` shifted along by a frame-dependent amount.
inline void paintBackdrop(Bitmap& target, const std::vector<std::uint32_t>& picture, int frame) {
    std::size_t count = static_cast<std::size_t>(target.width) * target.height;
    for (std::size_t i = 0; i < count; ++i)
        target.pixels[i] = picture[(i + static_cast<std::size_t>(frame) * 517) % picture.size()];
}

// Rolling ground for height and flow maps: slopes of a few units per pixel, as in a photograph.
inline std::vector<std::uint8_t> smoothHeights(int width, int height) {
    std::vector<std::uint8_t> heights(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            heights[static_cast<std::size_t>(y) * width + x] = static_cast<std::uint8_t>(
                128 + 50 * std::sin(x * 0.07) + 50 * std::cos(y * 0.05) + 20 * std::sin((x + y) * 0.13));
    return heights;
}

// A class's schedule: `build` makes a layer with the show's kind of arguments; `cue` plays the
// part of the cue script and the layer list for one frame (setters, a lower layer drawing, the
// music level) and says whether the layer is in the list that frame.
template <class LayerType> struct CheckpointSchedule {
    std::function<std::unique_ptr<LayerType>()> build;
    std::function<bool(LayerType& layer, int frame, Bitmap& target)> cue;
    double framesPerSecond = 60.0;
    // The rest of the show's state that the schedule keeps, if any (such as the layer list).
    std::function<void(StateArchive& archive)> archiveShow = nullptr;
};

template <class LayerType> class CheckpointRoundTrip {
  public:
    explicit CheckpointRoundTrip(CheckpointSchedule<LayerType> schedule) : schedule(std::move(schedule)) {}

    // Draws frames 0 .. checkpointFrame - 1 on a new layer, checkpoints, draws `frames` more, and
    // expects those frames again after restoring into that layer and into a fresh one.
    void expectExactAfter(int checkpointFrame, int frames) {
        SCOPED_TRACE("checkpoint before frame " + std::to_string(checkpointFrame));
        std::unique_ptr<LayerType> layer = schedule.build();
        drawFrames(*layer, 0, checkpointFrame);
        std::vector<std::uint8_t> checkpoint = save(*layer);

        std::vector<std::uint64_t> continuous = drawFrames(*layer, checkpointFrame, frames);
        EXPECT_GT(distinctCount(continuous), 1u) << "the schedule does not animate the layer";

        restore(*layer, checkpoint);
        EXPECT_EQ(drawFrames(*layer, checkpointFrame, frames), continuous) << "restored into the same layer";

        std::unique_ptr<LayerType> fresh = schedule.build();
        restore(*fresh, checkpoint);
        EXPECT_EQ(drawFrames(*fresh, checkpointFrame, frames), continuous) << "restored into a fresh layer";
    }

    CheckpointWorld world;

  private:
    std::vector<std::uint64_t> drawFrames(LayerType& layer, int first, int count) {
        std::vector<std::uint64_t> hashes;
        for (int frame = first; frame < first + count; ++frame) {
            if (schedule.cue(layer, frame, world.target.bitmap))
                layer.render(world.target.bitmap, frame / schedule.framesPerSecond);
            hashes.push_back(world.frameHash());
        }
        return hashes;
    }

    std::vector<std::uint8_t> save(LayerType& layer) {
        std::vector<std::uint8_t> bytes;
        StateArchive archive = StateArchive::saving(bytes);
        layer.archiveState(archive);
        world.archiveShared(archive);
        if (schedule.archiveShow)
            schedule.archiveShow(archive);
        return bytes;
    }

    void restore(LayerType& layer, const std::vector<std::uint8_t>& bytes) {
        StateArchive archive = StateArchive::restoring(bytes);
        layer.archiveState(archive);
        world.archiveShared(archive);
        if (schedule.archiveShow)
            schedule.archiveShow(archive);
        EXPECT_TRUE(archive.atEnd()) << "the restore left bytes unread";
    }

    static std::size_t distinctCount(std::vector<std::uint64_t> hashes) {
        std::sort(hashes.begin(), hashes.end());
        return static_cast<std::size_t>(std::unique(hashes.begin(), hashes.end()) - hashes.begin());
    }

    CheckpointSchedule<LayerType> schedule;
};
