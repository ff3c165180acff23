#include "MoviePainter.h"

#include "DetMath.h"
#include "Noise.h"

#include <cmath>

namespace datagen {

void paintMovie(Canvas& canvas, int frames, const MovieStyle& style) {
    FbmSettings flow{4, 0.5, 0, style.seed};
    FbmSettings detail{3, 0.5, 0, style.seed + 3};
    std::vector<Colour> loop = style.palette;
    loop.push_back(style.palette.front());
    for (int frame = 0; frame < frames; ++frame) {
        // Every term turns a whole number of times as the frame runs through the loop.
        double theta = kTwoPi * frame / frames;
        double circleX = 1.3 * detCos(theta), circleY = 1.3 * detSin(theta);
        for (int row = 0; row < kMovieRows; ++row)
            for (int column = 0; column < kMovieColumns; ++column) {
                double x = column, y = row;
                double warpX = 0.8 * detSin(y * 0.06 + 2.0 * theta) + 0.6 * detSin((x + y) * 0.035 - 3.0 * theta);
                double warpY = 0.8 * detSin(x * 0.05 - theta) + 0.6 * detCos((x - y) * 0.03 + 2.0 * theta);
                double u = (x + 12.0 * warpX) / style.scale + circleX;
                double v = (y + 12.0 * warpY) / style.scale + circleY;
                double body = fbm(u, v, flow);
                double wave = 0.35 * detSin(x * 0.09 + y * 0.05 + 4.0 * theta + body * 3.0);
                double fine = 0.15 * fbm(u * 3.0 - circleY, v * 3.0 + circleX, detail);
                double value = body + wave + fine;
                double hue = value * 0.6 + style.colourCycles * frame / frames;
                hue -= std::floor(hue);
                Colour c = gradient(loop, hue);
                double light = 0.55 + 0.6 * smoothStep(-0.6, 0.9, value);
                double crest = detExp(-std::fabs(wave + fine) * 12.0) * 0.35;
                canvas.at(column, frame * kMovieRows + row) = c * light + Colour{1.0, 1.0, 1.0} * crest;
            }
    }
}

} // namespace datagen
