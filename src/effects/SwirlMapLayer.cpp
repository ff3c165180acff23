#include "effects/SwirlMapLayer.h"

#include "core/Truncate.h"

SwirlMapLayer::SwirlMapLayer(Bitmap& texture) : GridMapLayer(texture) {}

void SwirlMapLayer::pulse() {
    amplitude = 1024;
}

void SwirlMapLayer::startTwist() {
    armed = true;
}

void SwirlMapLayer::reset() {
    twist = 0.0;
    twistStart = 0.0;
    armed = false;
    amplitude = 0;
}

void SwirlMapLayer::beginFrame(double seconds) {
    // The ripple shrinks by about a fifth a frame and, truncated, reaches 0.
    amplitude = truncateToInt(amplitude * 0.795334);
    if (armed)
        twistStart = seconds;
    if (twistStart != 0.0) {
        armed = false;
        twist = (seconds - twistStart) * 0.003 + amplitude * 0.00001;
    } else {
        twist = 0.0;
    }
}

void SwirlMapLayer::mapPoint(std::int32_t out[2], int x, int y, double seconds) {
    // Squared distance from the centre in whole pixels.
    int distance2 = (y >> 8) * (y >> 8) + (x >> 8) * (x >> 8);
    // 8192 = 1.0, less towards the edges; the ripple's cosine (scaled by 8192) times an amplitude of
    // at most 1024, shifted by 12, moves it by at most a quarter.
    int scale = ((sineTable->cos(distance2 >> 3) * amplitude) >> 12) - (distance2 >> 5) + 8192;
    double fast = seconds * 1153.0, slow = seconds * 1134.0;
    int plasma = sineTable->sin(truncateToInt(x / 7 + fast)) + sineTable->sin(truncateToInt(y / 7 + fast)) +
                 sineTable->sin(truncateToInt(x / 13 - slow)) + sineTable->sin(truncateToInt(y / 13 - slow));
    int angle = truncateToInt(plasma * twist + truncateToInt(seconds * 26.0));
    int xs = (x * scale) >> 13, ys = (y * scale) >> 13;
    int sine = sineTable->sin(angle), cosine = sineTable->cos(angle);
    out[1] = (ys * sine + xs * cosine) >> 13;
    out[0] = (ys * cosine - xs * sine) >> 13;
}
