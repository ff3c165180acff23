#include "platform/ptc/Surface.h"

#include "platform/ptc/Error.h"

#include <bit>
#include <cstddef>
#include <cstring>

namespace ptc {

namespace {

// One channel of a direct-colour pixel widened or narrowed to 8 bits. Narrower channels repeat
// their top bits into the low ones, so full intensity stays full (5-bit 31 becomes 255).
struct Channel {
    std::uint32_t mask;
    int shift;
    int width;

    explicit Channel(std::uint32_t channelMask)
        : mask(channelMask), shift(channelMask ? std::countr_zero(channelMask) : 0),
          width(std::popcount(channelMask)) {}

    std::uint32_t to8(std::uint32_t pixel) const {
        if (width == 0)
            return 0;
        std::uint32_t value = (pixel & mask) >> shift;
        if (width >= 8)
            return value >> (width - 8);
        std::uint32_t widened = 0;
        for (int filled = 0; filled < 8; filled += width)
            widened = (widened << width) | value;
        int filledBits = (8 + width - 1) / width * width;
        return widened >> (filledBits - 8);
    }
};

std::uint32_t readLittleEndian(const std::uint8_t* bytes, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

} // namespace

Surface::Surface(int width, int height, const Format& format)
    : surfaceWidth(width), surfaceHeight(height), surfaceFormat(format) {
    if (!(format.direct() && format.bits() == 32))
        throw DynamicError("Surfaces are 32-bit direct colour only");
    if (width < 0 || height < 0)
        throw DynamicError("A surface cannot have a negative size");
    std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    memory.reset(new std::uint32_t[count ? count : 1]());
}

Surface::~Surface() = default;

void* Surface::lock() {
    locked = true;
    return memory.get();
}

void Surface::unlock() { locked = false; }

int Surface::pitch() const { return surfaceWidth * 4; }

void Surface::load(const void* pixels, int width, int height, int pitch, const Format& format,
                   const Palette& palette) {
    if (width != surfaceWidth || height != surfaceHeight)
        throw DynamicError("Surface load: the source size differs from the surface's");
    if (format.empty() || (!format.indexed() && !format.direct()))
        throw DynamicError("Surface load: the source format is empty");
    const int bytesPerPixel = format.bytes();
    if (pitch < bytesPerPixel * width)
        throw DynamicError("Surface load: the source pitch is shorter than a row");

    const auto* source = static_cast<const std::uint8_t*>(pixels);
    std::uint32_t* target = memory.get();
    const std::size_t rowLength = static_cast<std::size_t>(surfaceWidth);

    if (format.indexed()) {
        const std::uint32_t* colours = palette.data();
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* row = source + static_cast<std::size_t>(y) * pitch;
            std::uint32_t* out = target + y * rowLength;
            for (int x = 0; x < width; ++x)
                out[x] = colours[row[x]] & 0xFFFFFF;
        }
        return;
    }

    const Channel red(format.r()), green(format.g()), blue(format.b());
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = source + static_cast<std::size_t>(y) * pitch;
        std::uint32_t* out = target + y * rowLength;
        for (int x = 0; x < width; ++x) {
            std::uint32_t pixel = readLittleEndian(row + x * bytesPerPixel, bytesPerPixel);
            out[x] = red.to8(pixel) << 16 | green.to8(pixel) << 8 | blue.to8(pixel);
        }
    }
}

void Surface::palette(const Palette& palette) { surfacePalette = palette; }

} // namespace ptc
