#include "effects/PictureLayer.h"

#include "effects/PictureSize.h"
#include "effects/ScreenCopy.h"

PictureLayer::PictureLayer(Bitmap& picture) : picture(picture.pixels) {
    requirePictureSize(picture, 512, 384);
}

void PictureLayer::render(Bitmap& target, double) {
    // A picture that is the target itself already shows.
    if (picture != target.pixels)
        copyScreen(target.pixels, picture);
}
