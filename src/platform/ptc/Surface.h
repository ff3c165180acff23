#pragma once
// An off-screen picture. Its pixel memory is allocated once and never moves, so an address taken
// from a lock stays valid for the surface's whole life, locked or not.

#include "platform/ptc/Area.h"
#include "platform/ptc/Format.h"
#include "platform/ptc/Palette.h"

#include <cstdint>
#include <memory>

namespace ptc {

class Console;

class Surface {
public:
    // Only 32-bit direct-colour surfaces are created by the show; other formats are refused with
    // a DynamicError.
    Surface(int width, int height, const Format& format);
    ~Surface();
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    void* lock();
    void unlock();

    int width() const { return surfaceWidth; }
    int height() const { return surfaceHeight; }
    int pitch() const;
    const Format& format() const { return surfaceFormat; }

    // Converts `width` x `height` source pixels (rows `pitch` bytes apart) of `format` into this
    // surface: 8-bit indexed through `palette`, 16-bit 5-5-5, 24-bit and 32-bit direct colour with
    // the masks the format gives. The source size must equal the surface's.
    void load(const void* pixels, int width, int height, int pitch, const Format& format, const Palette& palette);

    void palette(const Palette& palette);
    const Palette& palette() const { return surfacePalette; }

    // The whole surface to the console.
    void copy(Console& console);
    // A source area of the surface to an equal-sized destination area of the console.
    void copy(Console& console, const Area& source, const Area& destination);

private:
    int surfaceWidth;
    int surfaceHeight;
    Format surfaceFormat;
    Palette surfacePalette;
    std::unique_ptr<std::uint32_t[]> memory;
    bool locked = false;
};

} // namespace ptc
