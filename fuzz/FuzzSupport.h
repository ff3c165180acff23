#pragma once
// Shared set-up of the picture harnesses: libjpeg's messages are swallowed (its fatal errors then
// arrive as the library's exception), and pictures are capped at 4 M pixels so that one input
// cannot stall the run on a legitimately huge decode.

#include "image/ImageCodec.h"
#include "image/JpegCodec.h"
#include "image/MemoryStream.h"
#include "platform/ptc/Error.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace fuzzing {

inline void quiet(const char*) {}

inline void setUp() {
    JpegCodec::setFatalHandler(quiet);
    JpegCodec::setWarningHandler(quiet);
    ImageCodec::setPixelLimit(std::size_t{4} << 20);
}

// Decodes with one codec as the image object would; true when the picture decoded.
template <class Codec>
bool decodeWith(const std::uint8_t* data, std::size_t size, int& width, int& height, ptc::Format& format,
                int& hasPalette, std::unique_ptr<std::uint8_t[]>& pixels, ptc::Palette& palette) {
    MemoryStream stream(data, size);
    try {
        Codec codec(&stream);
        if (!codec.isValid())
            return false;
        codec.getInfo(width, height, format, hasPalette);
        std::size_t bytes = static_cast<std::size_t>(format.bytes()) * width * height;
        pixels.reset(new std::uint8_t[bytes]());
        return codec.load(pixels.get(), &palette) == 1;
    } catch (const ptc::DynamicError&) {
        return false;
    }
}

// Decodes with `Codec`, saves the result with it and decodes that again: a lossless codec must
// give back the same pixels (and palette). `saverDeletesStream` follows the codec's saver.
template <class Codec> void roundTrip(const std::uint8_t* data, std::size_t size, bool saverDeletesStream,
                                      bool lossless) {
    int width = 0, height = 0, hasPalette = 0;
    ptc::Format format;
    ptc::Palette palette;
    std::unique_ptr<std::uint8_t[]> pixels;
    if (!decodeWith<Codec>(data, size, width, height, format, hasPalette, pixels, palette))
        return;

    auto* target = new MemoryStream();
    std::shared_ptr<std::vector<std::uint8_t>> saved = target->bytes();
    try {
        Codec().save(target, width, height, format, &palette, pixels.get(), nullptr);
    } catch (const ptc::DynamicError&) {
        // Savers refuse before they write, and before they delete the stream.
        delete target;
        return;
    }
    if (!saverDeletesStream)
        delete target;
    if (!lossless)
        return;

    int againWidth = 0, againHeight = 0, againHasPalette = 0;
    ptc::Format againFormat;
    ptc::Palette againPalette;
    std::unique_ptr<std::uint8_t[]> again;
    if (!decodeWith<Codec>(saved->data(), saved->size(), againWidth, againHeight, againFormat, againHasPalette,
                           again, againPalette))
        __builtin_trap();
    const std::size_t bytes = static_cast<std::size_t>(format.bytes()) * width * height;
    if (againWidth != width || againHeight != height || !(againFormat == format) ||
        std::memcmp(again.get(), pixels.get(), bytes) != 0)
        __builtin_trap();
    if (format.indexed() && std::memcmp(againPalette.data(), palette.data(), 256 * 4) != 0)
        __builtin_trap();
}

} // namespace fuzzing
