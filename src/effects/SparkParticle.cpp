#include "effects/SparkParticle.h"

#include "effects/GlowPoint.h"

namespace {

std::int32_t wrappingAdd(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

} // namespace

SparkParticle::SparkParticle(std::int32_t x, std::int32_t y, std::int32_t z, std::int32_t vx, std::int32_t vy,
                             std::int32_t vz, std::uint32_t colour, std::int32_t life)
    : x(x), y(y), z(z), vx(vx), vy(vy), vz(vz), life(life), colour(colour) {}

void SparkParticle::step() {
    x = wrappingAdd(x, vx);
    y = wrappingAdd(y, vy);
    z = wrappingAdd(z, vz);
    life = wrappingAdd(life, -1);
}

void SparkParticle::draw(Bitmap& target, int focal, int depth) const {
    addGlowDot(target, x, y, z, colour, focal, depth, 2);
}
