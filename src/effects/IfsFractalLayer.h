#pragma once
// A glowing 3D point cloud: the chaos game over four affine maps whose 48 coefficients drift along
// cosines of the layer time (2.3 units per second). The cloud is turned, projected and added onto
// the target as GlowPoint dots (cloud space 8192 = 1.0). Colours come from the first 256 pixels of
// a palette picture. The random sequence restarts at randomState 0 every frame.

#include "core/Layer.h"
#include "effects/IfsCloud.h"

#include <array>
#include <cstdint>
#include <vector>

class IfsFractalLayer : public Layer {
  public:
    // ptc::DynamicError if the palette picture holds fewer than 256 pixels.
    IfsFractalLayer(int pointCount, Bitmap& palette);

    // Starts a change to the palette 157 entries on, over the next 1/2.3 seconds.
    void shiftPalette();

    void render(Bitmap& target, double seconds) override;
    void archiveState(StateArchive& archive) override;

    // The 256 colours of a frame: the old and the new palette mixed by the eased blend weight.
    std::array<std::uint32_t, 256> blendedPalette() const;

    double timeOffset = 104653889.0;
    std::int32_t paletteOffset = 0;
    double paletteBlend = 0.0;
    std::int32_t oldPaletteOffset = 0;
    std::int32_t pointCount;
    const std::uint32_t* palettePixels;
    double lastTime = -1.0;
    double spread = 0.9;

    // Of each block of drawPointsInTwoStages, the points the walking thread places; the other
    // thread places the rest. It moves from frame to frame to balance the two threads' work and
    // changes no pixel, so it is not part of the layer's state.
    int walkerPlaces = IfsCloudBlock::size / 2;

  private:
    using Maps = double[4][12];

    // The chaos game, one point after another, drawing the map choices from the generator.
    void drawPointsPlain(Bitmap& target, const Maps& maps, const IfsView& view,
                         const std::array<std::uint32_t, 256>& palette);
    // The same picture in blocks: the serial walk first, then the turn and the dots in bulk, with the
    // map choices taken from a cache of the (fixed) random sequence.
    void drawPointsInBlocks(Bitmap& target, const Maps& maps, const IfsView& view,
                            const std::array<std::uint32_t, 256>& palette);
    // The blocks on two threads at once: one walks and turns block after block, the other adds
    // each block's dots as soon as it is ready, in the same order as drawPointsInBlocks.
    void drawPointsInTwoStages(Bitmap& target, const Maps& maps, const IfsView& view,
                               const std::array<std::uint32_t, 256>& palette);
    // Moves walkerPlaces towards the share that ends the two stages together.
    void shareThePlacing(int blocksAwaited);
    // Fills mapChoices once and leaves randomState where the draws leave it.
    void takeMapChoices();
    // Walks block `block` on from element 0 of its positions and projects its points.
    void walkBlock(const Maps& maps, const IfsView& view, const std::array<std::uint32_t, 256>& palette,
                   int block, IfsCloudBlock& out, ProjectedStores stores = ProjectedStores::cached) const;
    int blockPoints(int block) const;

    // The maps chosen by the pointCount draws that follow randomState 0, and the state they leave.
    std::vector<std::uint8_t> mapChoices;
    std::uint32_t stateAfterChoices = 0;
    // The blocks of a frame for drawPointsInTwoStages.
    std::vector<IfsCloudBlock> frameBlocks;
};
