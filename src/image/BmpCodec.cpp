#include "image/BmpCodec.h"

#include "platform/ptc/Error.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr int headerSize = 54;
constexpr int paletteBytes = 256 * 4;

} // namespace

BmpCodec::BmpCodec() : ImageCodec(nullptr) {}

BmpCodec::BmpCodec(Stream* source) : ImageCodec(source) {
    if (!stream)
        return;
    stream->seek(0, 0);
    if (stream->read(header, headerSize) != headerSize)
        std::memset(header, 0, sizeof header);
    width = static_cast<std::int32_t>(readU32(header + 18));
    height = static_cast<std::int32_t>(readU32(header + 22));
    switch (header[28]) {
    case 8:
        format = ptc::Format(8);
        hasPalette = 1;
        paletteOffset = headerSize;
        paletteCount = header[46] == 0 ? 256 : header[46];
        break;
    case 24:
        format = ptc::Format(24, 0xFF0000, 0x00FF00, 0x0000FF, 0);
        break;
    default:
        break;
    }
}

int BmpCodec::isValid() { return header[0] == 'B' && header[1] == 'M' && header[30] == 0 ? 1 : 0; }

long long BmpCodec::storedRowLength() {
    if (!isValid())
        fail("Not a BMP picture");
    if (format.empty())
        fail("BMP files with " + std::to_string(header[28]) + " bits per pixel are not supported");
    if (height <= 0)
        fail("BMP height " + std::to_string(height) + " is not supported (only bottom-up pictures are)");
    checkDimensions(width, height);
    const long long rowBytes = static_cast<long long>(format.bytes()) * width;
    if (pixelDataOffset() > fileSize())
        fail("BMP pixel data offset lies beyond the file size");
    const long long rowLength = (static_cast<long long>(fileSize()) - pixelDataOffset()) / height;
    if (rowLength < rowBytes)
        fail("BMP rows of " + std::to_string(rowLength) + " bytes are shorter than the picture's " +
             std::to_string(rowBytes));
    // Every row read must deliver at least one byte, so the last row may be short but no row missing.
    const long long available = static_cast<long long>(stream->size()) - pixelDataOffset();
    if (available < (height - 1) * rowLength + 1)
        fail("Unexpected end of file");
    return rowLength;
}

int BmpCodec::load(std::uint8_t* pixels, ptc::Palette* palette) {
    if (!stream)
        fail("no stream to load from");
    const long long rowLength = storedRowLength();
    stream->seek(0, 0);
    if (hasPalette) {
        std::uint32_t colours[256] = {};
        std::uint8_t entries[paletteBytes] = {};
        stream->seek(paletteOffset, 0);
        stream->read(entries, paletteCount * 4);
        for (int k = 0; k < paletteCount; ++k) {
            const std::uint8_t* entry = entries + 4 * k;
            colours[k] = static_cast<std::uint32_t>(entry[2]) << 16 | entry[1] << 8 | entry[0];
        }
        if (palette)
            palette->load(colours);
    }
    if (!pixels)
        fail("no pixels to load image onto");

    stream->seek(static_cast<int>(pixelDataOffset()), 0);
    const std::size_t rowBytes = static_cast<std::size_t>(format.bytes()) * width;
    // A short read keeps the previous row's bytes beyond what arrived. No read can deliver more than
    // the file holds after the offset, so the buffer need not be larger than that, whatever the
    // header says.
    const long long available = static_cast<long long>(stream->size()) - pixelDataOffset();
    const int readLength = static_cast<int>(std::min(rowLength, available));
    std::vector<std::uint8_t> row(std::max(static_cast<std::size_t>(readLength), rowBytes), 0);
    for (int y = height - 1; y >= 0; --y) {
        if (stream->read(row.data(), readLength) <= 0)
            fail("Unexpected end of file");
        std::memcpy(pixels + static_cast<std::size_t>(y) * rowBytes, row.data(), rowBytes);
    }
    return 1;
}

int BmpCodec::save(Stream* target, int pictureWidth, int pictureHeight, const ptc::Format& pictureFormat,
                   ptc::Palette* palette, const std::uint8_t* pixels, const int* options) {
    if (options && *options == 1)
        fail("Cannot save compressed BMP files");
    const int bits = pictureFormat.bits();
    if (bits != 8 && bits != 24)
        fail("BMP files are saved with 8 or 24 bits per pixel, not " + std::to_string(bits));
    if (!target || !pixels)
        fail("no stream or no pixels to save");
    checkDimensions(pictureWidth, pictureHeight);
    const bool palettised = pictureFormat.bytes() == 1;
    if (palettised && !palette)
        fail("no palette to save with an 8-bit BMP file");

    const std::size_t rowBytes = static_cast<std::size_t>(pictureFormat.bytes()) * pictureWidth;
    const std::size_t storedRow = (rowBytes + 3) & ~std::size_t{3};
    const std::size_t dataSize = storedRow * static_cast<std::size_t>(pictureHeight);
    const std::uint32_t colourCount = 1u << bits;

    std::uint8_t out[headerSize] = {};
    out[0] = 'B';
    out[1] = 'M';
    writeU32(out + 2, static_cast<std::uint32_t>(dataSize + headerSize + (palettised ? paletteBytes : 0)));
    writeU32(out + 10, palettised ? headerSize + paletteBytes : headerSize);
    writeU32(out + 14, 40);
    writeU32(out + 18, static_cast<std::uint32_t>(pictureWidth));
    writeU32(out + 22, static_cast<std::uint32_t>(pictureHeight));
    writeU16(out + 26, 1);
    writeU16(out + 28, static_cast<unsigned>(bits));
    writeU32(out + 34, static_cast<std::uint32_t>(dataSize));
    writeU32(out + 38, 10000);
    writeU32(out + 42, 10000);
    writeU32(out + 46, colourCount);
    writeU32(out + 50, colourCount);
    target->write(out, headerSize);

    if (palettised) {
        std::uint8_t entries[paletteBytes];
        const std::uint32_t* colours = palette->lock();
        for (int k = 0; k < 256; ++k) {
            entries[4 * k] = colours[k] & 0xFF;
            entries[4 * k + 1] = (colours[k] >> 8) & 0xFF;
            entries[4 * k + 2] = (colours[k] >> 16) & 0xFF;
            entries[4 * k + 3] = 0;
        }
        palette->unlock();
        target->write(entries, paletteBytes);
    }
    std::vector<std::uint8_t> row(storedRow, 0);
    for (int y = pictureHeight - 1; y >= 0; --y) {
        std::memcpy(row.data(), pixels + static_cast<std::size_t>(y) * rowBytes, rowBytes);
        target->write(row.data(), static_cast<int>(storedRow));
    }
    target->close();
    delete target;
    return 1;
}
