#include "SpacePainter.h"

#include "DetMath.h"
#include "Noise.h"

#include <cmath>

namespace datagen {

namespace {

double square(double v) { return v * v; }

Colour surfaceColour(const PlanetStyle& style, double longitude, double latitude) {
    // Longitude wraps: the noise repeats every 16 cells around the planet.
    double u = longitude / kTwoPi * 16.0;
    double v = (latitude / kPi + 0.5) * 8.0;
    switch (style.surface) {
    case PlanetSurface::Bands: {
        FbmSettings turbulence{5, 0.55, 16, style.seed};
        double swirl = fbm(u, v * 2.0, turbulence);
        double band = 0.5 + 0.5 * detSin(latitude * 11.0 + swirl * 2.2 + 0.6 * detSin(latitude * 29.0));
        return gradient(style.palette, band);
    }
    case PlanetSurface::Ocean: {
        FbmSettings land{6, 0.5, 16, style.seed};
        FbmSettings clouds{5, 0.55, 16, style.seed + 99};
        double height = fbm(u, v, land);
        Colour ground = height > 0.12 ? gradient(style.palette, clamp01((height - 0.12) * 2.5) * 0.5 + 0.5)
                                      : gradient(style.palette, clamp01(height * 0.8 + 0.4) * 0.5);
        double polar = smoothStep(0.75, 0.9, std::fabs(latitude) / (kPi / 2.0));
        ground = mixColour(ground, Colour{0.92, 0.95, 1.0}, polar);
        double cloud = smoothStep(0.05, 0.6, fbm(u * 1.3 + 5.0, v * 2.2, clouds));
        return mixColour(ground, Colour{1.0, 1.0, 1.0}, cloud * 0.85);
    }
    case PlanetSurface::Rock:
    default: {
        FbmSettings ground{6, 0.55, 16, style.seed};
        double height = fbm(u, v, ground) * 0.5 + 0.5;
        // Craters: rings of small bumps from a cell pattern.
        double cellU = u * 3.0, cellV = v * 3.0;
        double crater = 0.0;
        int baseU = static_cast<int>(std::floor(cellU)), baseV = static_cast<int>(std::floor(cellV));
        for (int dv = -1; dv <= 1; ++dv)
            for (int du = -1; du <= 1; ++du) {
                int cu = baseU + du, cv = baseV + dv;
                std::uint32_t wrappedU = static_cast<std::uint32_t>(((cu % 48) + 48) % 48);
                double px = cu + hashUnit(wrappedU, static_cast<std::uint32_t>(cv), style.seed + 7);
                double py = cv + hashUnit(wrappedU, static_cast<std::uint32_t>(cv), style.seed + 8);
                double size = 0.15 + 0.3 * hashUnit(wrappedU, static_cast<std::uint32_t>(cv), style.seed + 9);
                double d = std::sqrt(square(cellU - px) + square(cellV - py)) / size;
                if (d < 1.3)
                    crater += d < 1.0 ? -0.25 * (1.0 - d * d) + 0.3 * detExp(-square((d - 0.95) * 8.0))
                                      : 0.2 * detExp(-square((d - 1.0) * 6.0));
            }
        return gradient(style.palette, clamp01(height + crater));
    }
    }
}

} // namespace

void paintNebula(Canvas& canvas, const std::vector<Colour>& palette, double glow, std::uint32_t seed) {
    FbmSettings gas{6, 0.55, 0, seed};
    FbmSettings dust{5, 0.5, 0, seed + 31};
    FbmSettings tint{3, 0.5, 0, seed + 57};
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x) {
            double warpX = fbm(x / 160.0, y / 160.0, tint) * 1.5;
            double warpY = fbm(x / 160.0 + 7.0, y / 160.0 + 3.0, tint) * 1.5;
            double density = fbm(x / 130.0 + warpX, y / 130.0 + warpY, gas) * 0.5 + 0.5;
            density = smoothStep(0.22, 0.9, density);
            double hole = smoothStep(0.1, 0.5, fbm(x / 70.0, y / 70.0, dust));
            Colour c = gradient(palette, clamp01(0.5 + 0.6 * fbm(x / 250.0, y / 250.0, tint) + 0.3 * density));
            canvas.at(x, y) = c * (density * density * glow * (1.0 - 0.75 * hole));
        }
    canvas.addStars(canvas.width() * canvas.height() / 300, seed + 3, 0.9);
}

void paintPlanet(Canvas& canvas, const PlanetStyle& style) {
    double lightLength = std::sqrt(square(style.lightX) + square(style.lightY) + square(style.lightZ));
    double lx = style.lightX / lightLength, ly = style.lightY / lightLength, lz = style.lightZ / lightLength;
    double radius = style.radius;
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x) {
            double dx = (x + 0.5 - style.centreX) / radius;
            double dy = (y + 0.5 - style.centreY) / radius;
            double d2 = dx * dx + dy * dy;
            double d = std::sqrt(d2);
            Colour c = canvas.at(x, y);
            // The ring behind the planet first, then the planet, then the ring in front.
            double ringAlpha = 0.0;
            Colour ringLight;
            bool ringInFront = false;
            if (style.ringOuter > 0.0) {
                double ry = dy / style.ringTilt;
                double r = std::sqrt(dx * dx + ry * ry);
                if (r > style.ringInner && r < style.ringOuter) {
                    double across = (r - style.ringInner) / (style.ringOuter - style.ringInner);
                    double bands = 0.55 + 0.45 * detSin(across * 40.0 + 3.0 * detSin(across * 13.0));
                    double edge = smoothStep(0.0, 0.05, across) * smoothStep(1.0, 0.9, across);
                    ringAlpha = edge * bands * 0.85;
                    ringLight = style.ringColour * (0.55 + 0.6 * bands);
                    ringInFront = dy > 0.0;
                    if (!ringInFront || d2 >= 1.0)
                        c = mixColour(c, ringLight, ringAlpha);
                }
            }
            if (d2 < 1.0) {
                double nz = std::sqrt(1.0 - d2);
                double longitude = detAtan2(dx, nz) + style.seed * 0.37;
                double latitude = detAtan2(-dy, std::sqrt(dx * dx + nz * nz));
                double lambert = dx * lx + (-dy) * (-ly) + nz * lz;
                double light = smoothStep(-0.15, 0.6, lambert);
                Colour surface = surfaceColour(style, longitude, latitude);
                Colour lit = surface * (0.03 + 1.05 * light);
                double rim = detPow(1.0 - nz, 2.0);
                lit = lit + style.atmosphere * (style.atmosphereStrength * rim * (0.2 + light));
                double edge = clamp01((1.0 - d) * radius + 0.5);
                c = mixColour(c, lit, edge);
                if (ringInFront)
                    c = mixColour(c, ringLight, ringAlpha);
            } else if (style.atmosphereStrength > 0.0) {
                double outside = (d - 1.0) * radius;
                double toward = clamp01((dx * lx - dy * ly) / d * 0.8 + 0.4);
                c = c + style.atmosphere * (style.atmosphereStrength * detExp(-outside / 9.0) * toward);
            }
            canvas.at(x, y) = c;
        }
}

void paintGalaxy(Canvas& canvas, const GalaxyStyle& style) {
    FbmSettings clumps{5, 0.55, 0, style.seed};
    FbmSettings lanes{4, 0.5, 0, style.seed + 17};
    double cosTurn = detCos(style.turn), sinTurn = detSin(style.turn);
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x) {
            double px = x - style.centreX, py = y - style.centreY;
            double u = (px * cosTurn + py * sinTurn) / style.size;
            double v = (py * cosTurn - px * sinTurn) / (style.size * style.tilt);
            double r = std::sqrt(u * u + v * v) + 1e-6;
            double angle = detAtan2(v, u);
            double spiral = angle - 2.6 * detLog(r + 0.08);
            double arm = 0.5 + 0.5 * detCos(2.0 * spiral);
            arm = arm * arm * arm;
            double clump = 0.6 + 0.6 * fbm(x / 18.0, y / 18.0, clumps);
            double disc = detExp(-r * 2.2);
            double armLight = arm * disc * clump * 3.0;
            double dust = smoothStep(0.55, 0.95, detCos(2.0 * spiral - 0.55) * 0.5 + 0.5) *
                          (0.6 + 0.4 * fbm(x / 10.0, y / 10.0, lanes)) * smoothStep(0.05, 0.25, r);
            double coreLight = detExp(-r * r * 60.0) * 1.4 + detExp(-r * 9.0) * 0.5;
            Colour c = canvas.at(x, y) * (1.0 - 0.6 * dust);
            c = c + style.arms * (armLight * (1.0 - 0.7 * dust)) + style.core * coreLight;
            double knot = smoothStep(0.55, 0.85, fbm(x / 7.0 + 11.0, y / 7.0, clumps)) * arm * disc;
            c = c + style.nebulae * (knot * 1.6);
            canvas.at(x, y) = c;
        }
}

} // namespace datagen
