#include "effects/GlowPoint.h"

void GlowPoint::draw(Bitmap& target, int focal, int depth) const {
    addGlowDot(target, x, y, z, colour, focal, depth, 1);
}
