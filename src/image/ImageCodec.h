#pragma once
// The base of the picture codecs. A codec is built on a stream positioned anywhere: its
// constructor reads the header, `isValid` says whether the file is in the codec's format, and
// `load` decodes the whole picture in the file's own pixel format. `save` writes a picture; a
// codec used only for saving is built without a stream.
//
// Headers are untrusted: `getInfo` and `load` refuse a header that describes no usable picture
// (no pixels, too many pixels, a depth the codec does not define, more data than the file holds)
// with a ptc::DynamicError, so nothing is allocated or read on its word alone.

#include "image/Stream.h"
#include "platform/ptc/Format.h"
#include "platform/ptc/Palette.h"

#include <cstddef>
#include <cstdint>
#include <string>

class ImageCodec {
public:
    explicit ImageCodec(Stream* source = nullptr) : stream(source) {}
    virtual ~ImageCodec() = default;
    ImageCodec(const ImageCodec&) = delete;
    ImageCodec& operator=(const ImageCodec&) = delete;

    // What the header says. Returns 1; throws when the header describes no picture this library
    // can decode.
    virtual int getInfo(int& width, int& height, ptc::Format& format, int& hasPalette);
    // Decodes the picture into `pixels` (bytes per pixel x width x height, rows from the top, no
    // padding) and, for palettised pictures, loads `palette`. Returns 1, or 0 for a picture the
    // codec declines without an error.
    virtual int load(std::uint8_t* pixels, ptc::Palette* palette) = 0;
    // Writes a picture to `stream`. `options` points to one int or is null: the quality for JPEG,
    // a compression flag for the others.
    virtual int save(Stream* stream, int width, int height, const ptc::Format& format,
                     ptc::Palette* palette, const std::uint8_t* pixels, const int* options) = 0;
    // 1 when the header belongs to this codec's format.
    virtual int isValid() = 0;

    // The largest picture any codec accepts, in pixels (not per side: tall strips of frames are
    // legitimate pictures). 64 M pixels by default.
    static std::size_t pixelLimit();
    static void setPixelLimit(std::size_t pixels);

protected:
    // Throws when the header the constructor read describes no picture this codec can decode.
    virtual void checkHeader() = 0;

    // Throws the library's error "Zarvo error - <problem>".
    [[noreturn]] static void fail(const std::string& problem);
    // Refuses sizes that are not positive or exceed the pixel limit.
    static void checkDimensions(long long width, long long height);
    // Little-endian fields of a header.
    static unsigned readU16(const std::uint8_t* bytes) { return bytes[0] | bytes[1] << 8; }
    static std::uint32_t readU32(const std::uint8_t* bytes) {
        return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
    }
    static void writeU16(std::uint8_t* bytes, unsigned value) {
        bytes[0] = value & 0xFF;
        bytes[1] = (value >> 8) & 0xFF;
    }
    static void writeU32(std::uint8_t* bytes, std::uint32_t value) {
        writeU16(bytes, value & 0xFFFF);
        writeU16(bytes + 2, value >> 16);
    }

    Stream* stream;
    // What the constructor read from the header.
    int width = 0;
    int height = 0;
    int hasPalette = 0;
    ptc::Format format;
};
