#pragma once
// A picture file opened, recognised by its contents and decoded in its own pixel format. The
// codecs are tried in a fixed order, JPEG, BMP, PCX, TGA (the TGA test is the weakest); the file's
// name plays no part.

#include "image/ImageCodec.h"
#include "image/Stream.h"
#include "platform/ptc/Format.h"
#include "platform/ptc/Palette.h"
#include "platform/ptc/Surface.h"

#include <cstdint>
#include <memory>

class Image {
public:
    // Opens the file for reading and decodes it; throws ptc::DynamicError on every failure.
    explicit Image(const char* fileName);
    // Decodes from a stream, which the image then owns.
    explicit Image(Stream* stream);
    ~Image();
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    int width() const { return pictureWidth; }
    int height() const { return pictureHeight; }
    ptc::Format format() const { return pictureFormat; }
    bool hasPalette() const { return palettised != 0; }
    const ptc::Palette& palette() const { return colours; }
    // The decoded pixels: bytes per pixel x width x height, rows from the top, no padding.
    const std::uint8_t* pixels() const { return decoded.get(); }
    // "JPEG", "BMP", "PCX" or "TGA".
    const char* codecName() const { return recognisedAs; }

    // Converts the picture into `surface` (same size), and gives the surface the palette.
    void transfer(ptc::Surface& surface) const;

private:
    void decode();

    std::unique_ptr<std::uint8_t[]> decoded;
    std::unique_ptr<ImageCodec> codec;
    std::unique_ptr<Stream> stream;
    int pictureWidth = 0;
    int pictureHeight = 0;
    ptc::Format pictureFormat;
    int palettised = 0;
    ptc::Palette colours;
    const char* recognisedAs = "";
};
