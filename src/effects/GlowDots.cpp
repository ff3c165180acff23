#include "effects/GlowDots.h"

#include "core/SimdLevel.h"
#include "effects/GlowPoint.h"

void addGlowDotsPlain(Bitmap& target, const GlowDotBatch& dots, int focal, int depth, int margin) {
    for (int i = 0; i < dots.count; ++i)
        addGlowDot(target, dots.x[i], dots.y[i], dots.z[i], dots.colour[i], focal, depth, margin);
}

void addGlowDots(Bitmap& target, const GlowDotBatch& dots, int focal, int depth, int margin) {
    if constexpr (avx2Built) {
        if (simdLevel() == SimdLevel::avx2)
            return addGlowDotsAvx2(target, dots, focal, depth, margin);
    }
    addGlowDotsPlain(target, dots, focal, depth, margin);
}
