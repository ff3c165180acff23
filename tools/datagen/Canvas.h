#pragma once
// Pictures being painted: `Canvas` holds colours as doubles (0 .. 1 is the displayable range,
// brighter values clip when the picture is stored), `Field` holds one value per pixel (masks,
// height maps). Both convert to the 0x00RRGGBB words the codecs store.

#include <cstdint>
#include <vector>

namespace datagen {

struct Colour {
    double r = 0.0, g = 0.0, b = 0.0;
};

inline Colour operator+(Colour a, Colour b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
inline Colour operator-(Colour a, Colour b) { return {a.r - b.r, a.g - b.g, a.b - b.b}; }
inline Colour operator*(Colour a, double s) { return {a.r * s, a.g * s, a.b * s}; }
inline Colour operator*(Colour a, Colour b) { return {a.r * b.r, a.g * b.g, a.b * b.b}; }
inline Colour mixColour(Colour a, Colour b, double t) { return a + (b - a) * t; }
// A colour from 0xRRGGBB.
Colour hexColour(std::uint32_t rgb);
// Picks a colour along evenly spaced stops (t in 0 .. 1, clamped).
Colour gradient(const std::vector<Colour>& stops, double t);
// Screen blend: brightens without passing 1 for inputs in 0 .. 1.
Colour screenBlend(Colour base, Colour light);

class Canvas {
public:
    Canvas(int width, int height);
    int width() const { return columns; }
    int height() const { return rows; }
    Colour& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * columns + x]; }
    const Colour& at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * columns + x]; }
    // Bilinear read with wrapping.
    Colour sample(double x, double y) const;
    std::vector<Colour>& data() { return pixels; }

    // Adds light in a soft round spot; `radius` is where it falls to about 2 %.
    void addGlow(double cx, double cy, double radius, Colour colour);
    // Stars: tiny glowing points of varied brightness and tint, `count` of them.
    void addStars(int count, std::uint32_t seed, double brightness, double maxY = 1e9);
    // Multiplies every pixel by a darkening towards the corners.
    void vignette(double strength);

    // 0x00RRGGBB, each channel rounded and clipped.
    std::vector<std::uint32_t> toPixels() const;

private:
    int columns;
    int rows;
    std::vector<Colour> pixels;
};

class Field {
public:
    Field(int width, int height);
    int width() const { return columns; }
    int height() const { return rows; }
    double& at(int x, int y) { return values[static_cast<std::size_t>(y) * columns + x]; }
    double at(int x, int y) const { return values[static_cast<std::size_t>(y) * columns + x]; }
    double wrappedAt(int x, int y) const;
    std::vector<double>& data() { return values; }
    const std::vector<double>& data() const { return values; }

    // Maps the smallest value to `low` and the largest to `high` linearly.
    void normalise(double low = 0.0, double high = 1.0);
    // Box blur with wrapping edges, `radius` pixels, `passes` times (three passes look Gaussian).
    void blur(int radius, int passes);

    // Grey pixels 0x00VVVVVV from values 0 .. 1 (rounded, clipped).
    std::vector<std::uint32_t> toGreyPixels() const;
    // Bytes 0 .. 255 from values 0 .. 1 (rounded, clipped).
    std::vector<std::uint8_t> toBytes() const;

private:
    int columns;
    int rows;
    std::vector<double> values;
};

// A byte 0 .. 255 from a value 0 .. 1, rounded and clipped.
std::uint8_t toByte(double value);

} // namespace datagen
