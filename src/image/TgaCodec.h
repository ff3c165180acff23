#pragma once
// Uncompressed TGA files: colour-mapped (image type 1) and true colour (type 2), 8, 15, 16, 24 or
// 32 bits per pixel, rows bottom-up or top-down. Pixels are kept as the file stores them: 5-5-5
// little-endian words, or bytes B, G, R (and an ignored fourth byte).

#include "image/ImageCodec.h"

class TgaCodec : public ImageCodec {
public:
    // For saving only.
    TgaCodec();
    explicit TgaCodec(Stream* stream);

    // Returns 0, reading nothing, for a colour map of more than 256 entries.
    int load(std::uint8_t* pixels, ptc::Palette* palette) override;
    // Writes top-down files; 8-bit pictures get a 256-entry colour map from `palette`. `options`
    // may not ask for compression (1). Closes and deletes the stream: it must come from `new`.
    int save(Stream* stream, int width, int height, const ptc::Format& format, ptc::Palette* palette,
             const std::uint8_t* pixels, const int* options) override;
    int isValid() override;

private:
    void checkHeader() override;
    int idLength() const { return header[0]; }
    int colourMapLength() const { return static_cast<int>(readU16(header + 5)); }
    int colourMapEntryBits() const { return header[7]; }
    // Bytes the colour map occupies in the file (15-bit entries take two bytes).
    long long colourMapBytes() const;
    int rowOrder() const { return (header[17] >> 4) & 3; }

    std::uint8_t header[18] = {};
};
