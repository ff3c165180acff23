#pragma once
// Full-screen texture mapping on a grid: a mapping function is evaluated only at the corners of
// 16 x 16 pixel blocks (33 x 25 points) and each block is filled by stepping the interpolated
// texture coordinates, fetching every pixel bilinearly. Coordinates are 24.8 fixed point (256 = one
// pixel or texel), screen positions from the screen centre, texture positions from the texture
// centre. The texture is read as 512 x 512 and wraps. Overwrites the whole 512 x 384 target.

#include "core/BandBalance.h"
#include "core/Bitmap.h"
#include "core/Layer.h"

#include <cstdint>

class GridMapLayer : public Layer {
  public:
    // Throws ptc::DynamicError unless `texture` is 512 x 512 (or taller).
    explicit GridMapLayer(Bitmap& texture);

    void render(Bitmap& target, double seconds) override;
    void archiveState(StateArchive& archive) override;

    // Texture position (out[0] = v, row; out[1] = u, column) for screen position (x, y). The base
    // turns the picture by (int)(seconds * 32) angle steps.
    virtual void mapPoint(std::int32_t out[2], int x, int y, double seconds);
    // Called once a frame before any mapPoint.
    virtual void beginFrame(double seconds);
    // Bilinear fetch at (u, v) from `texture`, wrapping; top byte 0. The vector path of render
    // reads `texture` with this same fetch, so a class that changes the fetch must override render.
    virtual void samplePixel(int u, int v, std::uint32_t& out);

    std::uint32_t* texture;

  protected:
    // For a layer that supplies its own 512 x 512 texture.
    explicit GridMapLayer(std::uint32_t* texturePixels);

    // The 33 x 25 grid of (v, u) pairs, row by row, shared by every grid mapper.
    static std::int32_t (*grid)[2];

  private:
    // The points of grid row `gridRow` (0 .. 24), mapped into `points`.
    void mapGridRow(std::int32_t (*points)[2], int gridRow, double seconds);
    // Rows of 16 x 16 blocks [firstBlockRow, endBlockRow) from the mapped grid, the row of points
    // under the last of them from `lastBottom`.
    void fillBlocks(Bitmap& target, int firstBlockRow, int endBlockRow, const std::int32_t (*lastBottom)[2]);

    // The rows of blocks each thread fills, moved to balance the threads (the texture is fetched
    // faster where the grid shrinks it); not the layer's state.
    BandBalance fillBands;
};
