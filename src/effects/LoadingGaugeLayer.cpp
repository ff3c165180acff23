#include "effects/LoadingGaugeLayer.h"

#include "core/Random.h"
#include "platform/ptc/Error.h"

#include <algorithm>
#include <string>
#include <utility>

namespace {

constexpr int pictureWidth = 512;
constexpr int pictureHeight = 384;
constexpr std::uint32_t spokeColour = 0x007FFF;
constexpr std::uint32_t glowColour = 0x000307;
constexpr int glowCopies = 128;

// Adds colour * weight / 256 per channel (red and blue in one multiply), saturating each channel
// at 255; the top byte of a touched pixel becomes 0xFF even when the weight is 0.
void plot(Bitmap& target, int x, int y, std::uint32_t colour, int weight) {
    if (x < 1 || x >= target.width || y < 1 || y >= target.height)
        return;
    std::uint32_t w = static_cast<std::uint32_t>(weight);
    std::uint32_t green = ((colour & 0xFF00) * w >> 8) & 0xFF00;
    std::uint32_t redBlue = ((colour & 0xFF00FF) * w >> 8) & 0xFF00FF;
    std::uint32_t& pixel = target.pixels[y * target.width + x];
    std::uint32_t red = std::min<std::uint32_t>(255, ((pixel >> 16) & 0xFF) + (redBlue >> 16));
    std::uint32_t greenSum = std::min<std::uint32_t>(255, ((pixel >> 8) & 0xFF) + (green >> 8));
    std::uint32_t blue = std::min<std::uint32_t>(255, (pixel & 0xFF) + (redBlue & 0xFF));
    pixel = 0xFF000000u | red << 16 | greenSum << 8 | blue;
}

// Weight of an end pixel: coverage `fraction` (0 .. 1023) of the pixel's share `gap`.
int endWeight(int fraction, int gap) {
    return ((fraction * gap) >> 10) >> 2;
}

// A line that moves further across than down: one column at a time, two rows each.
void drawAcross(Bitmap& target, int x0, int y0, int x1, int y1, std::uint32_t colour) {
    if (x1 < x0) {
        std::swap(x0, x1);
        std::swap(y0, y1);
    }
    int gradient = static_cast<int>(static_cast<double>(y1 - y0) / (x1 - x0) * 1024.0);

    int column = (x0 + 512) >> 10;
    int yEnd = y0 + ((((x0 + 512) & ~1023) - x0) * gradient >> 10);
    int gap = 1023 - ((x0 - 512) & 1023);
    int fraction = yEnd & 1023;
    plot(target, column, (yEnd >> 10) + 1, colour, endWeight(fraction, gap));
    plot(target, column, yEnd >> 10, colour, endWeight(1023 - fraction, gap));

    int lastColumn = (x1 + 512) >> 10;
    int yEnd2 = y1 + ((((x1 + 512) & ~1023) - x1) * gradient >> 10);
    int gap2 = (x1 - 512) & 1023;
    int fraction2 = yEnd2 & 1023;

    int y = yEnd + gradient;
    for (int x = column + 1; x < lastColumn; ++x) {
        int weight = (y >> 2) & 0xFF;
        plot(target, x, (y >> 10) + 1, colour, weight);
        plot(target, x, y >> 10, colour, 255 - weight);
        y += gradient;
    }

    plot(target, lastColumn, (yEnd2 >> 10) + 1, colour, endWeight(fraction2, gap2));
    plot(target, lastColumn, yEnd2 >> 10, colour, endWeight(1023 - fraction2, gap2));
}

// A line that moves at least as far down as across: one row at a time, two columns each.
void drawDown(Bitmap& target, int x0, int y0, int x1, int y1, std::uint32_t colour) {
    if (y1 < y0) {
        std::swap(x0, x1);
        std::swap(y0, y1);
    }
    int gradient = static_cast<int>(static_cast<double>(x1 - x0) / (y1 - y0) * 1024.0);

    int row = (y0 + 512) >> 10;
    int xEnd = x0 + ((((y0 + 512) & ~1023) - y0) * gradient >> 10);
    int gap = 1023 - ((y0 - 512) & 1023);
    int fraction = xEnd & 1023;
    plot(target, xEnd >> 10, row, colour, endWeight(1023 - fraction, gap));
    plot(target, (xEnd >> 10) + 1, row, colour, endWeight(fraction, gap));

    int lastRow = (y1 + 512) >> 10;
    int xEnd2 = x1 + ((((y1 + 512) & ~1023) - y1) * gradient >> 10);
    int gap2 = (y1 - 512) & 1023;
    int fraction2 = xEnd2 & 1023;

    int x = xEnd + gradient;
    for (int y = row + 1; y < lastRow; ++y) {
        int weight = (x & 1023) >> 2;
        plot(target, x >> 10, y, colour, 255 - weight);
        plot(target, (x >> 10) + 1, y, colour, weight);
        x += gradient;
    }

    plot(target, xEnd2 >> 10, lastRow, colour, endWeight(1023 - fraction2, gap2));
    plot(target, (xEnd2 >> 10) + 1, lastRow, colour, endWeight(fraction2, gap2));
}

int magnitude(int value) {
    return value < 0 ? -value : value;
}

} // namespace

LoadingGaugeLayer::LoadingGaugeLayer(Bitmap& picture) : picture(&picture) {
    if (picture.width != pictureWidth || picture.height != pictureHeight || picture.pixels == nullptr)
        throw ptc::DynamicError("loading picture must be " + std::to_string(pictureWidth) + " x " +
                                std::to_string(pictureHeight) + ", not " + std::to_string(picture.width) +
                                " x " + std::to_string(picture.height));
}

void LoadingGaugeLayer::drawLine(Bitmap& target, int x0, int y0, int x1, int y1, std::uint32_t colour) {
    int dx = x1 - x0;
    int dy = y1 - y0;
    if (dx == 0 && dy == 0)
        return; // no direction to step along
    if (magnitude(dx) > magnitude(dy))
        drawAcross(target, x0, y0, x1, y1, colour);
    else
        drawDown(target, x0, y0, x1, y1, colour);
}

void LoadingGaugeLayer::render(Bitmap& target, double progress) {
    // The picture is 512 x 384; a larger target gets only that many pixels.
    int count = std::min(target.width * target.height, pictureWidth * pictureHeight);
    std::copy_n(picture->pixels, std::max(count, 0), target.pixels);
    if (!(progress > 0.0))
        return;

    // The ring's centre in 22.10: three quarters across, three eighths down.
    int centreX = ((target.width * 3) / 4) << 10;
    int centreY = ((target.height * 3) / 8) << 10;
    double angle = 0.0;
    do {
        int step = static_cast<int>(angle * 8192.0);
        int sine = sineTable->sin(step);
        int cosine = sineTable->cos(step);
        // Sine values are scaled by 8192, so * 10 and * 12 put the spoke 80 and 96 pixels out.
        int x0 = centreX + sine * 10;
        int y0 = centreY + cosine * 10;
        int x1 = centreX + sine * 12;
        int y1 = centreY + cosine * 12;
        drawLine(target, x0, y0, x1, y1, spokeColour);
        for (int copy = 0; copy < glowCopies; ++copy) {
            x0 += nextRandom(2000) - 1000;
            y0 += nextRandom(2000) - 1000;
            x1 += nextRandom(2000) - 1000;
            y1 += nextRandom(2000) - 1000;
            drawLine(target, x0, y0, x1, y1, glowColour);
        }
        angle = angle + 0.01;
    } while (angle < progress);
}
