#include "SeascapePainter.h"

#include "DetMath.h"
#include "Noise.h"

#include <cmath>

namespace datagen {

namespace {

double square(double v) { return v * v; }

void paintSky(Canvas& canvas, const SeascapeStyle& style) {
    FbmSettings clouds{6, 0.55, 0, style.seed + 11};
    for (int y = 0; y < canvas.height(); ++y) {
        double t = detPow(clamp01(y / style.horizon), 1.6);
        Colour base = gradient(style.sky, t);
        for (int x = 0; x < canvas.width(); ++x) {
            Colour c = base;
            double d2 = (square(x - style.sunX) + square((y - style.sunY) * 1.4)) / square(style.haloRadius);
            c = c + style.haloColour * (detExp(-d2) + 0.35 * detExp(-d2 * 0.15));
            if (style.cloudCover > 0.0 && y < style.horizon) {
                // Clouds flatten towards the horizon, as seen from low over the water.
                double depth = 1.0 / (0.15 + clamp01((style.horizon - y) / style.horizon));
                double n = fbm(x / (140.0 * depth) + 3.0, (y + 30.0) / 26.0, clouds);
                double density = smoothStep(1.0 - style.cloudCover * 1.2, 1.25 - style.cloudCover, n * 0.5 + 0.5);
                double near = detExp(-d2 * 0.25);
                double shade = clamp01(0.5 + 0.9 * fbm((x + 7.0) / 60.0, (y - 3.0) / 14.0, clouds));
                Colour cloud = mixColour(style.cloudShade, style.cloudLit, clamp01(shade * 0.6 + near * 0.8));
                c = mixColour(c, cloud, density * 0.92);
            }
            canvas.at(x, y) = c;
        }
    }
}

void paintAurora(Canvas& canvas, const SeascapeStyle& style) {
    FbmSettings curve{4, 0.5, 0, style.seed + 23};
    FbmSettings rays{3, 0.5, 0, style.seed + 29};
    for (int x = 0; x < canvas.width(); ++x) {
        double bottom = style.auroraBase + 55.0 * fbm(x / 170.0, 0.5, curve);
        double fold = 0.5 + 0.5 * fbm(x / 40.0, 3.5, curve);
        for (int y = 0; y < static_cast<int>(style.horizon); ++y) {
            double above = bottom - y;
            double intensity;
            if (above < 0.0)
                intensity = detExp(-square(above / 5.0));
            else
                intensity = detExp(-above / (70.0 + 60.0 * fold));
            double streak = 0.55 + 0.45 * fbm(x / 5.0 + y / 60.0, y / 200.0, rays);
            double hue = clamp01(above / 160.0);
            Colour colour = mixColour(style.auroraLow, style.auroraHigh, hue);
            canvas.at(x, y) = canvas.at(x, y) + colour * (intensity * streak * style.aurora * (0.5 + fold));
        }
    }
}

void paintSunDisc(Canvas& canvas, const SeascapeStyle& style) {
    if (style.sunRadius <= 0.0)
        return;
    FbmSettings craters{5, 0.55, 0, style.seed + 41};
    for (int y = 0; y < static_cast<int>(style.horizon); ++y)
        for (int x = 0; x < canvas.width(); ++x) {
            double d = std::sqrt(square(x - style.sunX) + square(y - style.sunY));
            double edge = clamp01(style.sunRadius + 0.5 - d);
            if (edge <= 0.0)
                continue;
            Colour disc = style.sunColour;
            if (style.moon) {
                double mare = fbm((x - style.sunX) / 18.0, (y - style.sunY) / 18.0, craters);
                double limb = std::sqrt(clamp01(1.0 - square(d / style.sunRadius)));
                disc = disc * ((0.78 + 0.28 * mare) * (0.75 + 0.25 * limb));
            } else {
                double limb = std::sqrt(clamp01(1.0 - square(d / style.sunRadius)));
                disc = disc * (0.85 + 0.3 * limb);
            }
            canvas.at(x, y) = mixColour(canvas.at(x, y), disc, edge);
        }
}

void paintIslands(Canvas& canvas, const SeascapeStyle& style, std::vector<double>& skyline) {
    Generator random(style.seed * 7 + 3);
    FbmSettings rocks{5, 0.5, 0, style.seed + 53};
    skyline.assign(canvas.width(), style.horizon);
    for (int island = 0; island < style.islands; ++island) {
        double centre = random.range(-40.0, canvas.width() + 40.0);
        double halfWidth = random.range(40.0, 150.0);
        double height = style.islandHeight * random.range(0.35, 1.0);
        for (int x = 0; x < canvas.width(); ++x) {
            double u = (x - centre) / halfWidth;
            if (u <= -1.0 || u >= 1.0)
                continue;
            double profile = detPow(1.0 - u * u, 0.8) * (0.75 + 0.35 * fbm(x / 25.0, island * 3.7, rocks));
            double top = style.horizon - height * profile;
            if (top < skyline[x])
                skyline[x] = top;
        }
    }
    for (int x = 0; x < canvas.width(); ++x)
        for (int y = static_cast<int>(std::floor(skyline[x])); y < static_cast<int>(style.horizon); ++y) {
            double cover = clamp01(y + 1.0 - skyline[x]);
            // A little haze near the water line, and a rim lit towards the sun.
            double haze = 0.25 * clamp01(1.0 - (style.horizon - y) / 30.0);
            Colour ground = mixColour(style.islandColour, gradient(style.sky, 1.0), haze);
            canvas.at(x, y) = mixColour(canvas.at(x, y), ground, cover);
        }
}

void paintSea(Canvas& canvas, const SeascapeStyle& style) {
    FbmSettings waves{4, 0.5, 0, style.seed + 67};
    FbmSettings ripples{3, 0.5, 0, style.seed + 71};
    int top = static_cast<int>(style.horizon);
    double depthSpan = canvas.height() - style.horizon;
    for (int y = top; y < canvas.height(); ++y) {
        double t = (y - style.horizon) / depthSpan;
        double perspective = 0.08 + 0.92 * t;
        Colour water = gradient(style.sea, t);
        for (int x = 0; x < canvas.width(); ++x) {
            double wave = fbm(x / (50.0 * perspective), (y - style.horizon) / (6.0 * perspective * perspective + 1.0), waves);
            double ripple = fbm(x / (14.0 * perspective + 2.0), (y - style.horizon) / (2.0 * perspective + 0.6), ripples);
            // Waves stretch the mirror image downwards and break it into streaks.
            double mirrorY = 2.0 * style.horizon - y - 1.0 + (wave * 6.0 + ripple * 9.0) * (0.4 + perspective);
            double mirrorX = x + (wave * 14.0 + ripple * 5.0) * perspective;
            mirrorY = clampRange(mirrorY, 0.0, style.horizon - 1.0);
            Colour mirrored = canvas.sample(mirrorX, mirrorY) * (0.78 + 0.3 * ripple);
            double fresnel = 0.35 + 0.5 * (1.0 - t);
            Colour c = mixColour(water, mirrored, fresnel);
            // The path of light: sparkles on the crests under the sun or moon.
            double across = (x - style.sunX) / (25.0 + 140.0 * t);
            double path = detExp(-across * across);
            double sparkle = smoothStep(0.25, 0.7, ripple + 0.3 * wave);
            c = c + style.sunColour * (path * sparkle * style.glitter * (1.0 - 0.6 * t));
            canvas.at(x, y) = c;
        }
    }
}

} // namespace

void paintSeascape(Canvas& canvas, const SeascapeStyle& style) {
    paintSky(canvas, style);
    if (style.stars > 0)
        canvas.addStars(style.stars, style.seed + 5, style.starBrightness, style.horizon - 4.0);
    if (style.aurora > 0.0)
        paintAurora(canvas, style);
    paintSunDisc(canvas, style);
    std::vector<double> skyline;
    paintIslands(canvas, style, skyline);
    paintSea(canvas, style);
}

} // namespace datagen
