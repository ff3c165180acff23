#include "GlassPainter.h"

#include "DetMath.h"
#include "Noise.h"

#include <cmath>

namespace datagen {

namespace {

double square(double v) { return v * v; }

// Hue 0 .. 1 round the colour wheel, fully saturated.
Colour hueColour(double hue) {
    hue = hue - std::floor(hue);
    double r = clamp01(std::fabs(hue * 6.0 - 3.0) - 1.0);
    double g = clamp01(2.0 - std::fabs(hue * 6.0 - 2.0));
    double b = clamp01(2.0 - std::fabs(hue * 6.0 - 4.0));
    return {r, g, b};
}

struct CellDistances {
    double nearest = 1e9, second = 1e9;
    std::uint32_t cellX = 0, cellY = 0;
};

// Distances to the two nearest jittered points of a grid of `cells` x `cells` that wraps.
CellDistances voronoi(double x, double y, int cells, std::uint32_t seed) {
    CellDistances result;
    int baseX = static_cast<int>(std::floor(x)), baseY = static_cast<int>(std::floor(y));
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) {
            int cx = baseX + dx, cy = baseY + dy;
            std::uint32_t wx = static_cast<std::uint32_t>(((cx % cells) + cells) % cells);
            std::uint32_t wy = static_cast<std::uint32_t>(((cy % cells) + cells) % cells);
            double px = cx + 0.1 + 0.8 * hashUnit(wx, wy, seed);
            double py = cy + 0.1 + 0.8 * hashUnit(wx, wy, seed + 1);
            double d = std::sqrt(square(x - px) + square(y - py));
            if (d < result.nearest) {
                result.second = result.nearest;
                result.nearest = d;
                result.cellX = wx;
                result.cellY = wy;
            } else if (d < result.second) {
                result.second = d;
            }
        }
    return result;
}

} // namespace

void paintStainedGlass(Canvas& canvas, std::uint32_t seed) {
    const int cells = 12;
    FbmSettings grain{4, 0.5, 24, seed + 5};
    double scale = static_cast<double>(cells) / canvas.width();
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x) {
            double u = x * scale, v = y * scale;
            CellDistances cell = voronoi(u, v, cells, seed);
            double pick = hashUnit(cell.cellX, cell.cellY, seed + 3);
            // Jewel tones: sea blues, emerald, amber, ruby, violet.
            Colour pane = hueColour(0.52 + 0.5 * pick + 0.08 * detSin(pick * 40.0));
            pane = mixColour(pane, Colour{1.0, 1.0, 1.0}, 0.12);
            double glow = 0.55 + 0.45 * detExp(-cell.nearest * 2.5);
            double texture = 0.85 + 0.2 * fbm(x / 21.3333, y / 21.3333, grain);
            double lead = smoothStep(0.03, 0.08, cell.second - cell.nearest);
            canvas.at(x, y) = pane * (glow * texture * lead) + Colour{0.04, 0.035, 0.03} * (1.0 - lead);
        }
}

void paintCausticNet(Canvas& canvas, std::uint32_t seed) {
    FbmSettings warp{3, 0.5, 4, seed};
    const int cells = 8;
    double scale = static_cast<double>(cells) / canvas.width();
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x) {
            double u = x * scale, v = y * scale;
            double wx = fbm(u * 0.5, v * 0.5, warp) * 0.6;
            double wy = fbm(u * 0.5 + 3.0, v * 0.5 + 1.0, warp) * 0.6;
            CellDistances cell = voronoi(u + wx, v + wy, cells, seed + 9);
            double line = detExp(-square((cell.second - cell.nearest) * 14.0));
            double hue = hashUnit(cell.cellX, cell.cellY, seed + 4);
            Colour tint = mixColour(Colour{0.35, 0.85, 1.0}, Colour{1.0, 0.8, 0.4}, hue);
            canvas.at(x, y) = tint * (line * line * 0.55);
        }
    // Sparkles, placed so that the pattern still wraps (drawn three times near the edges).
    Generator random(seed + 77);
    for (int i = 0; i < 160; ++i) {
        double x = random.range(0.0, canvas.width()), y = random.range(0.0, canvas.height());
        double size = random.unit();
        Colour colour = mixColour(Colour{0.8, 0.95, 1.0}, Colour{1.0, 0.9, 0.7}, random.unit()) * (0.25 + 0.5 * size);
        for (int oy = -1; oy <= 1; ++oy)
            for (int ox = -1; ox <= 1; ++ox)
                canvas.addGlow(x + ox * canvas.width(), y + oy * canvas.height(), 2.0 + 5.0 * size * size, colour);
    }
}

void paintUnderwater(Canvas& canvas, std::uint32_t seed) {
    FbmSettings ripples{4, 0.5, 0, seed};
    FbmSettings shafts{3, 0.5, 0, seed + 3};
    const int width = canvas.width(), height = canvas.height();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double t = static_cast<double>(y) / height;
            Colour c = gradient({hexColour(0x48D8E0), hexColour(0x1692B8), hexColour(0x08507E), hexColour(0x03203F)}, t);
            // Shafts of light slant down from the surface.
            double slant = x + (y - height) * 0.35;
            double shaft = smoothStep(0.1, 0.8, fbm(slant / 38.0, 0.3, shafts) * 0.5 + 0.5);
            c = c + Colour{0.5, 0.8, 0.75} * (shaft * shaft * 0.55 * (1.0 - t));
            // Caustic shimmer near the surface.
            double n = std::fabs(fbm(x / 30.0, y / 12.0, ripples));
            c = c + Colour{0.6, 0.9, 0.9} * (detExp(-n * 14.0) * 0.5 * detExp(-t * 5.0));
            canvas.at(x, y) = c;
        }
    Generator random(seed + 11);
    for (int i = 0; i < 70; ++i) {
        double x = random.range(0.0, width), y = random.range(height * 0.2, height);
        double r = random.range(1.5, 6.0);
        for (int py = static_cast<int>(y - r - 2); py <= static_cast<int>(y + r + 2); ++py)
            for (int px = static_cast<int>(x - r - 2); px <= static_cast<int>(x + r + 2); ++px) {
                if (px < 0 || py < 0 || px >= width || py >= height)
                    continue;
                double d = std::sqrt(square(px - x) + square(py - y));
                double ring = detExp(-square((d - r) * 1.4));
                canvas.at(px, py) = canvas.at(px, py) + Colour{0.55, 0.85, 0.95} * (ring * 0.6);
            }
        canvas.addGlow(x - r * 0.35, y - r * 0.35, r * 0.6, Colour{0.8, 1.0, 1.0} * 0.5);
    }
}

void paintBubbles(Canvas& canvas, std::uint32_t seed) {
    const int width = canvas.width(), height = canvas.height();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double t = static_cast<double>(y) / height;
            canvas.at(x, y) = gradient({hexColour(0x0B1030), hexColour(0x1B2660), hexColour(0x100A2A)}, t);
        }
    canvas.addGlow(150, 110, 320, Colour{0.25, 0.15, 0.45});
    struct Bubble { double x, y, r; };
    const Bubble bubbles[] = {{180, 170, 120}, {370, 110, 70}, {395, 280, 85}, {95, 320, 45}, {290, 330, 30}, {460, 200, 28}};
    int index = 0;
    for (const Bubble& bubble : bubbles) {
        double phase = hashUnit(static_cast<std::uint32_t>(index++), 0, seed);
        for (int y = static_cast<int>(bubble.y - bubble.r - 3); y <= static_cast<int>(bubble.y + bubble.r + 3); ++y)
            for (int x = static_cast<int>(bubble.x - bubble.r - 3); x <= static_cast<int>(bubble.x + bubble.r + 3); ++x) {
                if (x < 0 || y < 0 || x >= width || y >= height)
                    continue;
                double dx = (x - bubble.x) / bubble.r, dy = (y - bubble.y) / bubble.r;
                double d = std::sqrt(dx * dx + dy * dy);
                if (d > 1.03)
                    continue;
                double nz = std::sqrt(clamp01(1.0 - d * d));
                // Thin-film colours follow the film's thickness, which varies with height and angle.
                double film = phase + dy * 0.6 + (1.0 - nz) * 1.3 + 0.15 * detSin(dx * 7.0);
                Colour iris = hueColour(film);
                double fresnel = detPow(1.0 - nz, 3.0) * 0.95 + 0.07;
                double edge = clamp01((1.03 - d) * bubble.r * 0.5);
                Colour c = canvas.at(x, y) * (1.0 - 0.15 * edge) + iris * (fresnel * edge);
                double highlight = detExp(-(square(dx + 0.38) + square(dy + 0.42)) * 60.0);
                double window = detExp(-(square(dx - 0.45) * 30.0 + square(dy - 0.5) * 90.0));
                c = c + Colour{1.0, 1.0, 1.0} * ((highlight * 1.2 + window * 0.4) * edge);
                canvas.at(x, y) = c;
            }
    }
    canvas.addStars(60, seed + 2, 0.6);
}

void paintSpectrumFan(Canvas& canvas, std::uint32_t seed) {
    const int width = canvas.width(), height = canvas.height();
    const double sourceX = 150.0, sourceY = 200.0;
    FbmSettings haze{4, 0.5, 0, seed};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            Colour c = gradient({hexColour(0x05040E), hexColour(0x0C0A22)}, static_cast<double>(y) / height);
            c = c + Colour{0.05, 0.04, 0.1} * (fbm(x / 90.0, y / 90.0, haze) + 1.0);
            double dx = x - sourceX, dy = y - sourceY;
            if (dx < 0.0) {
                // The white beam coming in.
                double beam = detExp(-square((dy - dx * 0.18) / 5.0));
                c = c + Colour{1.0, 1.0, 1.0} * (beam * 0.95);
            } else {
                double angle = detAtan2(dy, dx);
                double spread = (angle + 0.05) / 0.55; // 0 .. 1 across the fan
                if (spread > 0.0 && spread < 1.0) {
                    double falloff = detExp(-dx / 900.0);
                    double soft = smoothStep(0.0, 0.06, spread) * smoothStep(1.0, 0.94, spread);
                    c = c + hueColour(0.8 * (1.0 - spread)) * (soft * falloff * 0.95);
                }
            }
            canvas.at(x, y) = c;
        }
    canvas.addGlow(sourceX, sourceY, 60.0, Colour{0.9, 0.9, 1.0} * 0.8);
    canvas.addGlow(sourceX, sourceY, 14.0, Colour{1.0, 1.0, 1.0});
    canvas.addStars(90, seed + 9, 0.5);
}

} // namespace datagen
