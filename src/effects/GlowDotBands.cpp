#include "effects/GlowDotBands.h"

#include "core/BandPool.h"
#include "core/SimdLevel.h"

#include <algorithm>

void placeGlowDotsPlain(const Bitmap& target, const GlowDotBatch& dots, int focal, int depth,
                        GlowDotPlacement* placements) {
    for (int i = 0; i < dots.count; ++i)
        if (!placeGlowDot(target.width, target.height, dots.x[i], dots.y[i], dots.z[i], focal, depth,
                          placements[i]))
            placements[i].column = hiddenGlowDot;
}

void placeGlowDots(const Bitmap& target, const GlowDotBatch& dots, int focal, int depth,
                   GlowDotPlacement* placements) {
    if constexpr (avx2Built) {
        if (simdLevel() == SimdLevel::avx2)
            return placeGlowDotsAvx2(target, dots, focal, depth, placements);
    }
    placeGlowDotsPlain(target, dots, focal, depth, placements);
}

void addGlowDotPlacements(Bitmap& target, const GlowDotPlacement* placements, const std::uint32_t* colours,
                          int count, int margin) {
    if constexpr (avx2Built) {
        if (simdLevel() == SimdLevel::avx2)
            return addGlowDotPlacementsAvx2(target, placements, colours, count, margin);
    }
    for (int i = 0; i < count; ++i)
        if (placements[i].column != hiddenGlowDot)
            addGlowCorners(target, placements[i], colours[i], margin);
}

void addGlowCornersInRows(Bitmap& target, const GlowDotPlacement& placement, std::uint32_t colour, int margin,
                         int firstRow, int endRow) {
    if (!glowDotInside(target, placement, margin))
        return addGlowCornersAtBorder(target, placement, colour, margin, firstRow, endRow);
    for (int corner = 0; corner < 4; ++corner) {
        int line = placement.row + (corner >> 1);
        if (line < firstRow || line >= endRow)
            continue;
        std::uint32_t& pixel = target.pixels[line * 512 + placement.column + (corner & 1)];
        pixel = addGlow(pixel, colour, placement.weights[corner]);
    }
}

void addPlacedGlowDots(Bitmap& target, const GlowDotPlacement* placements, const std::int32_t* rows,
                       const std::uint32_t* colours, int count, int margin, int firstRow, int endRow) {
    if constexpr (avx2Built) {
        if (simdLevel() == SimdLevel::avx2)
            return addPlacedGlowDotsAvx2(target, placements, rows, colours, count, margin, firstRow, endRow);
    }
    for (int i = 0; i < count; ++i) {
        // The dot covers rows row and row + 1; a hidden dot's row is below every band.
        if (rows[i] < firstRow - 1 || rows[i] >= endRow)
            continue;
        if (placements[i].column != hiddenGlowDot)
            addGlowCornersInRows(target, placements[i], colours[i], margin, firstRow, endRow);
    }
}

void placeGlowDotBand(const Bitmap& target, const GlowDotBatch& dots, int focal, int depth, GlowDotScratch& scratch,
                      int begin, int end) {
    GlowDotPlacement* placed = scratch.placements.data();
    std::int32_t* rows = scratch.rows.data();
    GlowDotBatch band{dots.x + begin, dots.y + begin, dots.z + begin, dots.colour + begin, end - begin};
    placeGlowDots(target, band, focal, depth, placed + begin);
    for (int i = begin; i < end; ++i)
        rows[i] = placed[i].column == hiddenGlowDot ? hiddenGlowDot : placed[i].row;
}

// Rows past either end of the picture belong to the first and the last band, so that every corner
// the plain loop writes has one band.
void addGlowDotRows(Bitmap& target, const std::uint32_t* colours, int count, int margin,
                    const GlowDotScratch& scratch, int begin, int end) {
    const int pictureRows = std::max(target.height, 1);
    int firstRow = begin == 0 ? INT32_MIN + 2 : begin;
    int endRow = end == pictureRows ? INT32_MAX : end;
    addPlacedGlowDots(target, scratch.placements.data(), scratch.rows.data(), colours, count, margin, firstRow,
                      endRow);
}

void GlowDotScratch::reserve(int count) {
    if (static_cast<int>(placements.size()) < count) {
        placements.resize(count);
        rows.resize(count);
    }
}

void addGlowDotsInBands(Bitmap& target, const GlowDotBatch& dots, int focal, int depth, int margin,
                        GlowDotScratch& scratch) {
    BandPool& pool = bandPool();
    if (pool.bands() == 1 || dots.count <= 0) {
        addGlowDots(target, dots, focal, depth, margin);
        return;
    }
    scratch.reserve(dots.count);
    pool.forEachBand(dots.count, [&](int begin, int end) {
        placeGlowDotBand(target, dots, focal, depth, scratch, begin, end);
    });
    pool.forEachBand(std::max(target.height, 1), [&](int begin, int end) {
        addGlowDotRows(target, dots.colour, dots.count, margin, scratch, begin, end);
    });
}
