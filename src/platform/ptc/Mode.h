#pragma once
// One entry of a console's mode list: a size and a pixel format. A default-constructed mode is
// invalid; the list ends with one.

#include "platform/ptc/Format.h"

namespace ptc {

class Mode {
public:
    // The invalid mode that ends a list.
    Mode() = default;
    Mode(int width, int height, const Format& format)
        : modeWidth(width), modeHeight(height), modeFormat(format), isValid(true) {}

    bool valid() const { return isValid; }
    int width() const { return modeWidth; }
    int height() const { return modeHeight; }
    const Format& format() const { return modeFormat; }

    bool operator==(const Mode& other) const = default;

private:
    int modeWidth = 0;
    int modeHeight = 0;
    Format modeFormat;
    bool isValid = false;
};

} // namespace ptc
