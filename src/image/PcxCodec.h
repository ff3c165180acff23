#pragma once
// PCX version 5 files with run-length encoding: one plane of 8-bit indices with a 256-colour
// palette at the end of the file, or three planes of red, green and blue (decoded as bytes B, G, R).
// In the encoding a byte of 0xC1 or more starts a run of (byte - 0xC0) copies of the next byte;
// anything up to 0xC0 is a literal.

#include "image/ImageCodec.h"

#include <vector>

class PcxCodec : public ImageCodec {
public:
    // For saving only.
    PcxCodec();
    explicit PcxCodec(Stream* stream);

    int load(std::uint8_t* pixels, ptc::Palette* palette) override;
    // Writes 8-bit (with `palette`) or 24-bit pictures (bytes B, G, R); `options` must be null or
    // point to 0 (no compression flag is supported). Closes the stream but does not delete it.
    int save(Stream* stream, int width, int height, const ptc::Format& format, ptc::Palette* palette,
             const std::uint8_t* pixels, const int* options) override;
    int isValid() override;

    // Run-length encodes `count` bytes of one line onto `out`.
    static void encodeLine(const std::uint8_t* line, int count, std::vector<std::uint8_t>& out);

private:
    void checkHeader() override;
    int planes() const { return header[65]; }
    int bytesPerLine() const { return static_cast<int>(readU16(header + 66)); }
    void decodeLine(std::uint8_t* line, int length);

    std::uint8_t header[128] = {};
};
