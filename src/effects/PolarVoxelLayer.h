#pragma once
// Polar voxel landscape: 512 rays cast from the camera in every direction over a wrapped 512 x 512
// height field, each drawn with the voxel method into one row of a polar image (entry = distance
// from the screen centre in pixels), then mapped onto the screen through an angle/radius table.
// Screen pixels whose polar entry is empty keep what the lower layers drew.

#include "core/Bitmap.h"
#include "core/ByteMap.h"
#include "core/Layer.h"

#include <cstdint>
#include <vector>

class VoxelMapHalves;

class PolarVoxelLayer : public Layer {
  public:
    // a: colour picture, b: second colour picture, c: light picture, each read as 512 x 512
    // (checked); m0 .. m3: height pictures of 512 x 512 bytes each (m0, m1 blended first).
    PolarVoxelLayer(Bitmap& a, Bitmap& b, Bitmap& c, ByteMap* m0, ByteMap* m1, ByteMap* m2, ByteMap* m3);

    // Swaps in the second colour picture and the second pair of height pictures, for good.
    void switchSet();

    void render(Bitmap& target, double seconds) override;
    void archiveState(StateArchive& archive) override;

    // Marks a polar entry without terrain; the landscape never draws it (its top byte is 0).
    static constexpr std::uint32_t emptyEntry = 0xFFFFFFFF;

  protected:
    struct Frame {
        float stepScale, gain, base, camX, camY;
    };

    Frame frameParameters(double d);
    void blendHeights(double d, const VoxelMapHalves& halves);
    // Cells firstCell .. endCell - 1 of the 512 x 512 map, within one row.
    void blendHeightCells(int weight, int firstCell, int endCell);
    void buildColourMap(const Frame& frame, const VoxelMapHalves& halves);
    void buildColourMapPlain(const Frame& frame, int firstCell, int endCell);
    void buildColourMapSse2(const Frame& frame, int firstCell, int endCell);
    void castRays(const Frame& frame);
    void mapOntoScreen(Bitmap& target) const;
    void castRayPlain(int ray, const Frame& frame);
    void castRaySse2(int ray, const Frame& frame);
    void fillSpan(std::uint32_t* row, int from, int to, std::int32_t r, std::int32_t g, std::int32_t b,
                  std::int32_t previousR, std::int32_t previousG, std::int32_t previousB, int lastEnd);
    void finishRay(int ray, std::int32_t top);

    std::uint32_t* polarTable;
    std::uint32_t* polarImage;
    std::uint32_t* secondPicture;
    const std::uint8_t* heightA;
    const std::uint8_t* heightB;
    const std::uint8_t* heightC;
    const std::uint8_t* heightD;
    // 512 x 512 blended heights, with the 2048 bytes before and after it copied from the far end
    // so that the slope's +-4 rows and the row below need no wrapping.
    std::uint8_t* heightMap;
    // 512 x 512 terrain colours; the top byte carries the blended height, so one fetch gives both.
    std::uint32_t* colourMap;
    std::uint32_t* basePicture;
    std::uint32_t* lightPicture;
    // The first set, kept so that a checkpoint taken before switchSet can be restored after it.
    const std::uint8_t* firstHeightA;
    const std::uint8_t* firstHeightB;
    std::uint32_t* firstPicture;
    std::int32_t steps = 512;
    std::int32_t* horizon;
    float* profile;
    float rotation = 0.0f;

  private:
    std::vector<std::uint32_t> polarTableStorage, polarImageStorage, colourStorage;
    std::vector<std::uint8_t> heightStorage;
    std::vector<std::int32_t> horizonStorage;
    std::vector<float> profileStorage;
};
