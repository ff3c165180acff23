#pragma once
// Many glowing dots at once: the point clouds hand their projected points over in batches, so that
// the projection can run eight points at a time. Blending order does not matter (each channel only
// grows and stops at 254), so the fast path gives the same picture as one GlowPoint after another.

#include "core/Bitmap.h"

#include <cstdint>

struct GlowDotBatch {
    const std::int32_t* x;
    const std::int32_t* y;
    const std::int32_t* z;
    const std::uint32_t* colour;
    int count;
};

// Adds every dot of the batch as addGlowDot does, with the fastest code this processor runs.
void addGlowDots(Bitmap& target, const GlowDotBatch& dots, int focal, int depth, int margin);

// The reference: addGlowDot for each point in turn.
void addGlowDotsPlain(Bitmap& target, const GlowDotBatch& dots, int focal, int depth, int margin);

// Eight projections at a time with AVX2, four-pixel blends with SSE2. Only on AVX2 processors.
void addGlowDotsAvx2(Bitmap& target, const GlowDotBatch& dots, int focal, int depth, int margin);
