#include "effects/IfsCloud.h"

void projectCloudPlain(const IfsView& view, const double* x, const double* y, const double* z, int count,
                       const std::uint32_t* palette, const IfsProjected& out) {
    for (int i = 0; i < count; ++i)
        projectCloudPoint(view, x[i - 1], y[i - 1], z[i - 1], x[i], y[i], z[i], palette, out, i);
}
