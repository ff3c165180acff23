#pragma once
// Layers read their pictures with a fixed row length of 512 pixels and a fixed number of rows.
// They check the picture at construction, so that a wrong file is refused with a message instead
// of being read past its end.

#include "core/Bitmap.h"
#include "platform/ptc/Error.h"

#include <string>

// Throws ptc::DynamicError unless `picture` is `width` pixels wide and at least `height` rows high
// (a taller picture is read as its top rows).
inline void requirePictureSize(const Bitmap& picture, int width, int height) {
    if (picture.pixels != nullptr && picture.width == width && picture.height >= height)
        return;
    throw ptc::DynamicError("picture is " + std::to_string(picture.width) + " x " +
                            std::to_string(picture.height) + " pixels, needs " + std::to_string(width) +
                            " x " + std::to_string(height));
}
