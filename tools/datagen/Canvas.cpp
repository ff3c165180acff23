#include "Canvas.h"

#include "DetMath.h"
#include "Noise.h"

#include <cmath>

namespace datagen {

Colour hexColour(std::uint32_t rgb) {
    return {((rgb >> 16) & 255) / 255.0, ((rgb >> 8) & 255) / 255.0, (rgb & 255) / 255.0};
}

Colour gradient(const std::vector<Colour>& stops, double t) {
    if (stops.size() == 1)
        return stops[0];
    double position = clamp01(t) * static_cast<double>(stops.size() - 1);
    std::size_t index = static_cast<std::size_t>(position);
    if (index >= stops.size() - 1)
        return stops.back();
    return mixColour(stops[index], stops[index + 1], position - static_cast<double>(index));
}

Colour screenBlend(Colour base, Colour light) {
    auto one = [](double a, double b) { return 1.0 - (1.0 - clamp01(a)) * (1.0 - clamp01(b)); };
    return {one(base.r, light.r), one(base.g, light.g), one(base.b, light.b)};
}

std::uint8_t toByte(double value) {
    double scaled = std::floor(value * 255.0 + 0.5);
    if (!(scaled > 0.0))
        return 0;
    if (scaled > 255.0)
        return 255;
    return static_cast<std::uint8_t>(scaled);
}

Canvas::Canvas(int width, int height)
    : columns(width), rows(height), pixels(static_cast<std::size_t>(width) * height) {}

Colour Canvas::sample(double x, double y) const {
    double fx = std::floor(x), fy = std::floor(y);
    double tx = x - fx, ty = y - fy;
    auto wrap = [](long long v, int n) { long long r = v % n; return static_cast<int>(r < 0 ? r + n : r); };
    int x0 = wrap(static_cast<long long>(fx), columns), x1 = wrap(static_cast<long long>(fx) + 1, columns);
    int y0 = wrap(static_cast<long long>(fy), rows), y1 = wrap(static_cast<long long>(fy) + 1, rows);
    Colour top = mixColour(at(x0, y0), at(x1, y0), tx);
    Colour bottom = mixColour(at(x0, y1), at(x1, y1), tx);
    return mixColour(top, bottom, ty);
}

void Canvas::addGlow(double cx, double cy, double radius, Colour colour) {
    int x0 = static_cast<int>(std::floor(cx - radius)), x1 = static_cast<int>(std::ceil(cx + radius));
    int y0 = static_cast<int>(std::floor(cy - radius)), y1 = static_cast<int>(std::ceil(cy + radius));
    if (x0 < 0) x0 = 0;
    if (y0 < 0) y0 = 0;
    if (x1 > columns - 1) x1 = columns - 1;
    if (y1 > rows - 1) y1 = rows - 1;
    double inverse = 4.0 / (radius * radius);
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            double dx = x - cx, dy = y - cy;
            double d2 = (dx * dx + dy * dy) * inverse;
            if (d2 < 4.0)
                at(x, y) = at(x, y) + colour * detExp(-d2);
        }
}

void Canvas::addStars(int count, std::uint32_t seed, double brightness, double maxY) {
    Generator random(seed);
    for (int i = 0; i < count; ++i) {
        double x = random.range(0.0, columns);
        double y = random.range(0.0, rows);
        double size = random.unit();
        double tint = random.unit();
        if (y > maxY)
            continue;
        double level = brightness * (0.15 + 0.85 * size * size * size);
        Colour colour = mixColour(hexColour(0xBFD4FF), hexColour(0xFFE6C8), tint) * level;
        double radius = 1.2 + 2.2 * size * size;
        addGlow(x, y, radius, colour);
        if (size > 0.93)
            addGlow(x, y, radius * 4.0, colour * 0.15);
    }
}

void Canvas::vignette(double strength) {
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < columns; ++x) {
            double dx = (x - columns * 0.5) / (columns * 0.5);
            double dy = (y - rows * 0.5) / (rows * 0.5);
            double d = (dx * dx + dy * dy) * 0.5;
            at(x, y) = at(x, y) * (1.0 - strength * d * d);
        }
}

std::vector<std::uint32_t> Canvas::toPixels() const {
    std::vector<std::uint32_t> out(pixels.size());
    for (std::size_t i = 0; i < pixels.size(); ++i)
        out[i] = static_cast<std::uint32_t>(toByte(pixels[i].r)) << 16 |
                 static_cast<std::uint32_t>(toByte(pixels[i].g)) << 8 | toByte(pixels[i].b);
    return out;
}

Field::Field(int width, int height)
    : columns(width), rows(height), values(static_cast<std::size_t>(width) * height) {}

double Field::wrappedAt(int x, int y) const {
    x %= columns;
    y %= rows;
    if (x < 0) x += columns;
    if (y < 0) y += rows;
    return at(x, y);
}

void Field::normalise(double low, double high) {
    double smallest = values[0], largest = values[0];
    for (double v : values) {
        if (v < smallest) smallest = v;
        if (v > largest) largest = v;
    }
    double span = largest - smallest;
    if (span <= 0.0)
        span = 1.0;
    for (double& v : values)
        v = low + (v - smallest) / span * (high - low);
}

void Field::blur(int radius, int passes) {
    std::vector<double> line;
    double scale = 1.0 / (2 * radius + 1);
    for (int pass = 0; pass < passes; ++pass) {
        line.assign(columns, 0.0);
        for (int y = 0; y < rows; ++y) {
            for (int x = 0; x < columns; ++x) {
                double sum = 0.0;
                for (int k = -radius; k <= radius; ++k)
                    sum += wrappedAt(x + k, y);
                line[x] = sum * scale;
            }
            for (int x = 0; x < columns; ++x)
                at(x, y) = line[x];
        }
        line.assign(rows, 0.0);
        for (int x = 0; x < columns; ++x) {
            for (int y = 0; y < rows; ++y) {
                double sum = 0.0;
                for (int k = -radius; k <= radius; ++k)
                    sum += wrappedAt(x, y + k);
                line[y] = sum * scale;
            }
            for (int y = 0; y < rows; ++y)
                at(x, y) = line[y];
        }
    }
}

std::vector<std::uint32_t> Field::toGreyPixels() const {
    std::vector<std::uint32_t> out(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        std::uint32_t v = toByte(values[i]);
        out[i] = v << 16 | v << 8 | v;
    }
    return out;
}

std::vector<std::uint8_t> Field::toBytes() const {
    std::vector<std::uint8_t> out(values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        out[i] = toByte(values[i]);
    return out;
}

} // namespace datagen
