#pragma once
// The per-point work of the fractal cloud after the chaos game: the colour from the length of each
// jump, the turn of the cloud and the conversion to the dot drawer's fixed point (8192 = 1.0).
// Positions come as arrays of doubles whose element -1 is the position before the first point.

#include "effects/GlowPoint.h"
#include "effects/WrappingTruncation.h"

#include <cstdint>

struct IfsView {
    double sinA, cosA, sinB, cosB;
};

struct IfsProjected {
    std::int32_t* x;
    std::int32_t* y;
    std::int32_t* z;
    std::uint32_t* colour;
};

// A block of the walk: positions with element 0 the position before the block's first point, the
// block's points turned into cloud space, and (when the dots are added apart) their dots placed.
struct IfsCloudBlock {
    static constexpr int size = 1024;
    double x[size + 1], y[size + 1], z[size + 1];
    // Aligned for stores that bypass the cache (projectCloudAvx2 with ProjectedStores::streamed).
    alignas(64) std::int32_t px[size];
    alignas(64) std::int32_t py[size];
    alignas(64) std::int32_t pz[size];
    alignas(64) std::uint32_t colours[size];
    GlowDotPlacement placements[size];
};

// Where projected points go: into the cache, for the same thread to use next, or past it, for
// another core. A core that writes lines the other core has read must first take them back from
// it, which on some machines costs more than the work; streamed stores hand the lines over through
// memory instead. The values are the same.
enum class ProjectedStores { cached, streamed };

// Point i of positions (x[i], y[i], z[i]), count points.
void projectCloudPlain(const IfsView& view, const double* x, const double* y, const double* z, int count,
                       const std::uint32_t* palette, const IfsProjected& out);

// The same, four points at a time. Only on AVX2 processors. Streamed stores need the outputs
// aligned to 16 bytes (else they are cached).
void projectCloudAvx2(const IfsView& view, const double* x, const double* y, const double* z, int count,
                      const std::uint32_t* palette, const IfsProjected& out,
                      ProjectedStores stores = ProjectedStores::cached);

// Point i, which jumped from (x, y, z) to (nx, ny, nz).
inline void projectCloudPoint(const IfsView& view, double x, double y, double z, double nx, double ny,
                              double nz, const std::uint32_t* palette, const IfsProjected& out, int i) {
    // The squared length of the jump picks the colour; only its low bits matter.
    double jump = (nx - x) * (nx - x) + (ny - y) * (ny - y) + (nz - z) * (nz - z);
    out.colour[i] = palette[(static_cast<std::uint32_t>(truncateToLow32(jump)) * 8) & 255];

    double r1 = ny * view.cosB + nx * view.sinB;
    double r2 = nx * view.cosB - ny * view.sinB;
    double turnedX = r2 * view.cosA + nz * view.sinA;
    double turnedZ = nz * view.cosA - r2 * view.sinA;
    out.x[i] = truncateToLow32(turnedX * 8192.0);
    out.y[i] = truncateToLow32((r1 * view.cosB - turnedZ * view.sinB) * 8192.0);
    out.z[i] = truncateToLow32((r1 * view.sinB + turnedZ * view.cosB) * 8192.0);
}
