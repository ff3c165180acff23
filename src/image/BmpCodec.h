#pragma once
// Uncompressed BMP files with a 40-byte information header, 8-bit palettised or 24-bit (bytes
// B, G, R), stored bottom-up. The reader takes the length of a stored row from the header's file
// size and pixel offset rather than from the width, so rows of any padding read back.

#include "image/ImageCodec.h"

class BmpCodec : public ImageCodec {
public:
    // For saving only.
    BmpCodec();
    explicit BmpCodec(Stream* stream);

    int load(std::uint8_t* pixels, ptc::Palette* palette) override;
    // Writes standard bottom-up files with rows padded to four bytes; 8-bit pictures get 256
    // palette entries from `palette`. `options` may not ask for compression (1). Closes and
    // deletes the stream: it must come from `new`.
    int save(Stream* stream, int width, int height, const ptc::Format& format, ptc::Palette* palette,
             const std::uint8_t* pixels, const int* options) override;
    int isValid() override;

private:
    void checkHeader() override { storedRowLength(); }
    // Checks the header against the file; returns the length of one stored row.
    long long storedRowLength();
    std::uint32_t fileSize() const { return readU32(header + 2); }
    std::uint32_t pixelDataOffset() const { return readU32(header + 10); }

    std::uint8_t header[54] = {};
    int paletteOffset = 54;
    int paletteCount = 0;
};
