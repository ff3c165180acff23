// The lens disc, drawn row by row. u and v are screen coordinates in radii from the centre; A and
// B the same turned by `angle`. A pixel at squared distance d2 (in radii) shows the texel
// refraction[d2 * 4096] * 2560 times (A, B) away from (offsetX, offsetY).

#include "effects/Lens.h"

#include "core/BandPool.h"
#include "core/ScreenSize.h"
#include "core/Truncate.h"
#include "effects/WrappingTruncation.h"

#include <algorithm>
#include <cmath>

Lens::Lens() {
    for (int i = 0; i < refractionSize; ++i) {
        float x = std::min(static_cast<float>(i) * 0.00024420026f, 1.0f);
        refraction[i] = 4.0f / (std::sqrt(1.0f - x) * 60.0f + 44.0f);
    }
}

void Lens::setTextures(std::uint32_t* visible, std::uint32_t* ray) {
    visibleTexture = visible;
    rayTexture = ray;
}

void Lens::setOffset(float x, float y, float newAngle) {
    offsetX = x;
    offsetY = y;
    angle = newAngle;
}

void Lens::setCentre(float x, float y) {
    centreX = x;
    centreY = y;
}

void Lens::setRadius(float r) {
    radius = r;
}

void Lens::plan(Rows& rows) const {
    rows.yTop = 0;
    rows.yBottom = -1;
    // A disc without area or with a non-finite place has nothing to draw; this also keeps NaN away
    // from every conversion below.
    if (!(radius > 0.0f) || !std::isfinite(radius) || !std::isfinite(centreX) || !std::isfinite(centreY))
        return;
    float inverse = 1.0f / radius;
    int yTop = truncateToInt(centreY - radius + 0.5);
    int yBottom = truncateToInt(radius + centreY + 0.5);
    if (yTop > screenHeight - 1 || yBottom < 0)
        return;
    yTop = std::max(yTop, 0);
    yBottom = std::min(yBottom, screenHeight - 1);
    rows.yTop = yTop;
    rows.yBottom = yBottom;
    rows.r2 = radius * radius;
    rows.setup = {std::sin(angle), std::cos(angle), inverse};
    // v steps by repeated single-precision addition, so the rows' values are taken in that order.
    float v = (static_cast<float>(yTop) - centreY) * inverse;
    float dv = ((static_cast<float>(yBottom) - centreY) * inverse - v) / static_cast<float>(yBottom - yTop);
    for (int y = yTop; y <= yBottom; ++y, v += dv)
        rows.v[y] = v;
}

void Lens::drawRow(const Rows& rows, int y, Bitmap& target, Bitmap& work) const {
    if (y < rows.yTop || y > rows.yBottom)
        return;
    float dy = static_cast<float>(y) - centreY;
    float underRoot = rows.r2 - dy * dy;
    // Rows the rounding put just outside the circle have no real half width.
    if (!(underRoot >= 0.0f))
        return;
    drawRow(y, rows.v[y], std::sqrt(underRoot), rows.setup, target, work);
}

void Lens::draw(Bitmap& target, Bitmap& work) {
    Rows rows;
    plan(rows);
    if (rows.yTop > rows.yBottom)
        return;
    bandPool().forEachBand(rows.yBottom - rows.yTop + 1, [&](int begin, int end) {
        for (int y = rows.yTop + begin; y < rows.yTop + end; ++y)
            drawRow(rows, y, target, work);
    });
}

void Lens::drawRow(int y, float v, float half, const RowSetup& setup, Bitmap& target, Bitmap& work) const {
    int xLeft = truncateToInt(centreX - half + 0.5);
    int xRight = truncateToInt(half + centreX + 0.5);
    if (xLeft >= screenWidth || xRight < 0)
        return;
    const float s = setup.s, c = setup.c, inverse = setup.inverse;
    float u = (static_cast<float>(xLeft) - centreX) * inverse;
    float du = ((static_cast<float>(xRight) - centreX) * inverse - u) / static_cast<float>(xRight - xLeft);
    float a = u * c - v * s;
    float b = u * s + v * c;
    float da = du * c;
    float db = du * s;
    float vv = v * v;
    if (xLeft < 0) {
        float skipped = static_cast<float>(xLeft);
        a -= skipped * da;
        b -= skipped * db;
        u -= skipped * du;
        xLeft = 0;
    }
    int xEnd = std::min(xRight, screenWidth - 1);
    std::uint32_t* targetRow = target.pixels + y * screenWidth;
    std::uint32_t* workRow = work.pixels + y * screenWidth;
    for (int x = xLeft; x < xEnd; ++x) {
        // Inside the disc the index stays below 4400; the clamp only guards tiny or odd radii.
        float distance = (u * u + vv) * 4096.0f;
        int entry = distance < static_cast<float>(refractionSize - 1) ? static_cast<int>(distance)
                                                                      : refractionSize - 1;
        float m = refraction[entry] * 2560.0f;
        std::uint32_t tx = static_cast<std::uint32_t>(truncateToLow32(m * a + offsetX));
        std::uint32_t ty = static_cast<std::uint32_t>(truncateToLow32(m * b + offsetY));
        std::uint32_t texel = ((ty << 9) + tx) & 0x3FFFF;
        targetRow[x] = visibleTexture[texel];
        workRow[x] = rayTexture[texel];
        u += du;
        a += da;
        b += db;
    }
}
