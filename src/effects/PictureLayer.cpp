#include "effects/PictureLayer.h"

#include "core/ScreenSize.h"
#include "effects/PictureSize.h"

#include <cstring>

PictureLayer::PictureLayer(Bitmap& picture) : picture(picture.pixels) {
    requirePictureSize(picture, 512, 384);
}

void PictureLayer::render(Bitmap& target, double) {
    // A picture that is the target itself already shows.
    if (picture != target.pixels)
        std::memcpy(target.pixels, picture, screenPixels * sizeof(std::uint32_t));
}
