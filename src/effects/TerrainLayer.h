#pragma once
// Terrain flight: a camera that steers itself towards low ground flies over a wrapped 512 x 512
// height map; 129 x 97 rays are marched through it, water (the most frequent height) mirrors the
// ray, and the ray grid is enlarged onto the whole 512 x 384 target. Uses workBufferA for the grid.

#include "core/Bitmap.h"
#include "core/ByteMap.h"
#include "core/Layer.h"

#include <cstdint>
#include <vector>

class TerrainLayer : public Layer {
  public:
    // `colours` is read as 512 x 512 (checked); `heights` must hold 512 x 512 bytes.
    TerrainLayer(Bitmap& colours, ByteMap* heights);

    void render(Bitmap& target, double seconds) override;
    void archiveState(StateArchive& archive) override;

    static constexpr int gridColumns = 129;
    static constexpr int gridRows = 97;

    // Ray colours into grid (129 x 97, row-major) for the current camera, by the plain march and by
    // the march that leaps over ground known to lie below the ray; both give the same colours.
    // Both deal the grid's columns out to the shared band pool.
    void castRaysPlain(std::uint32_t* grid) const;
    void castRaysSkipping(std::uint32_t* grid) const;

    // Enlarges a 129 x 97 grid onto 512 x 384 pixels in 4 x 4 blocks; the vector form gives the
    // same pixels four blocks at a time. The block rows firstRow .. endRow - 1 of the 96.
    static constexpr int blockRows = gridRows - 1;
    static void enlargeGridPlain(const std::uint32_t* grid, std::uint32_t* pixels, int firstRow = 0,
                                 int endRow = blockRows);
    static void enlargeGridSse2(const std::uint32_t* grid, std::uint32_t* pixels, int firstRow = 0,
                                int endRow = blockRows);

  protected:
    struct Vector {
        std::int32_t x, y, z;
    };
    struct Ray;

    void moveCamera(double seconds);
    int lowestDirectionOffset() const;
    void viewCorners(Vector corners[4]) const;
    template <bool skipping> void castRays(std::uint32_t* grid) const;
    template <bool skipping>
    void castColumns(std::uint32_t* grid, const Vector corners[4], int firstColumn, int endColumn) const;
    void enlargeGrid(Bitmap& target) const;
    template <bool skipping> std::uint32_t castRay(const Vector& direction) const;
    template <bool skipping> int march(Ray& ray, int steps) const;
    std::uint32_t shade(const Ray& ray, int weight) const;

    std::int32_t pitch = -4048;
    std::int32_t heading = 0;
    std::int32_t roll = 0;
    std::int32_t posX = 0;
    std::int32_t altitude = 0x60000;
    std::int32_t posY = 0;
    std::uint32_t* colours;
    const std::uint8_t* heights;
    std::int32_t steer = 0;
    std::uint32_t* grid;
    std::int32_t waterLevel = 255;
    double lastTime = -1.0;

    // The columns of rays are dealt to the bands in strips this wide: narrow enough that every band
    // gets some of each part of the view, wide enough that bands seldom share a cache line.
    static constexpr int stripColumns = 8;

    // Per cell, the highest ground within `skipReach` cells in both directions (wrapped).
    std::vector<std::uint8_t> nearbyPeak;
    static constexpr int skipReach = 8;
};
