#include "image/TgaCodec.h"

#include "platform/ptc/Error.h"

#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr int headerSize = 18;
constexpr int bottomUp = 0;
constexpr int topDown = 2;

} // namespace

TgaCodec::TgaCodec() : ImageCodec(nullptr) {}

TgaCodec::TgaCodec(Stream* source) : ImageCodec(source) {
    if (!stream)
        return;
    stream->seek(0, 0);
    if (stream->read(header, headerSize) != headerSize)
        std::memset(header, 0, sizeof header);
    width = static_cast<int>(readU16(header + 12));
    height = static_cast<int>(readU16(header + 14));
    hasPalette = header[1];
    switch (header[16]) {
    case 8:
        format = ptc::Format(8);
        break;
    case 15:
    case 16:
        format = ptc::Format(16, 0x7C00, 0x03E0, 0x001F, 0);
        break;
    case 24:
        format = ptc::Format(24, 0xFF0000, 0x00FF00, 0x0000FF, 0);
        break;
    case 32:
        format = ptc::Format(32, 0xFF0000, 0x00FF00, 0x0000FF, 0);
        break;
    default:
        break;
    }
}

int TgaCodec::isValid() { return header[2] == 1 || header[2] == 2 ? 1 : 0; }

long long TgaCodec::colourMapBytes() const {
    return static_cast<long long>(colourMapLength()) * ((colourMapEntryBits() + 7) / 8);
}

void TgaCodec::checkHeader() {
    if (!stream)
        fail("no stream to load from");
    if (!isValid())
        fail("Not a TGA picture");
    if (format.empty())
        fail("TGA files with " + std::to_string(header[16]) + " bits per pixel are not supported");
    checkDimensions(width, height);
    long long pixelStart = headerSize + idLength() + (hasPalette ? colourMapBytes() : 0);
    long long pixelBytes = static_cast<long long>(format.bytes()) * width * height;
    if (stream->size() < pixelStart + pixelBytes)
        fail("Unexpected end of file");
}

int TgaCodec::load(std::uint8_t* pixels, ptc::Palette* palette) {
    if (!stream)
        fail("no stream to load from");
    const int mapLength = colourMapLength();
    const bool readsColourMap = palette && hasPalette && mapLength != 0;
    if (readsColourMap && mapLength > 256)
        return 0;
    checkHeader();
    if (readsColourMap) {
        const int entryBits = colourMapEntryBits();
        const int entryBytes = (entryBits + 7) / 8;
        if (entryBits != 15 && entryBits != 16 && entryBits != 24 && entryBits != 32)
            fail("TGA colour maps with " + std::to_string(entryBits) + "-bit entries are not supported");
        std::vector<std::uint8_t> map;
        try {
            map.resize(static_cast<std::size_t>(mapLength) * entryBytes);
        } catch (const std::bad_alloc&) {
            fail("Could not allocate a palette");
        }
        stream->seek(headerSize + idLength(), 0);
        if (stream->read(map.data(), static_cast<int>(map.size())) != static_cast<int>(map.size()))
            fail("Unexpected end of file");
        std::uint32_t colours[256] = {};
        for (int k = 0; k < mapLength; ++k) {
            const std::uint8_t* entry = map.data() + k * entryBytes;
            if (entryBytes == 2) {
                // 5-5-5 words: each channel's top bits repeated into its low ones.
                unsigned word = readU16(entry);
                unsigned red = (word >> 10) & 31, green = (word >> 5) & 31, blue = word & 31;
                colours[k] = (red << 3 | red >> 2) << 16 | (green << 3 | green >> 2) << 8 | (blue << 3 | blue >> 2);
            } else {
                colours[k] = static_cast<std::uint32_t>(entry[2]) << 16 | entry[1] << 8 | entry[0];
            }
        }
        palette->load(colours);
    }

    if (!pixels)
        fail("no pixels to load image onto");
    stream->seek(static_cast<int>(headerSize + idLength() + (hasPalette ? colourMapBytes() : 0)), 0);

    const int order = rowOrder();
    if (order != bottomUp && order != topDown)
        fail("Unknown orientation");
    const int rowBytes = format.bytes() * width;
    for (int i = 0; i < height; ++i) {
        std::size_t y = static_cast<std::size_t>(order == bottomUp ? height - 1 - i : i);
        if (stream->read(pixels + y * static_cast<std::size_t>(rowBytes), rowBytes) != rowBytes)
            fail("Unexpected end of file");
    }
    return 1;
}

int TgaCodec::save(Stream* target, int pictureWidth, int pictureHeight, const ptc::Format& pictureFormat,
                   ptc::Palette* palette, const std::uint8_t* pixels, const int* options) {
    if (options && *options == 1)
        fail("Cannot save compressed TGA files");
    const int bits = pictureFormat.bits();
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32)
        fail("TGA files hold 8, 16, 24 or 32 bits per pixel, not " + std::to_string(bits));
    if (!target || !pixels)
        fail("no stream or no pixels to save");
    // The header holds sizes in 16 bits.
    if (pictureWidth <= 0 || pictureHeight <= 0 || pictureWidth > 65535 || pictureHeight > 65535)
        fail("Cannot save a TGA file of " + std::to_string(pictureWidth) + " x " +
             std::to_string(pictureHeight) + " pixels");
    const bool palettised = pictureFormat.bytes() == 1;
    if (palettised && !palette)
        fail("no palette to save with an 8-bit TGA file");

    std::uint8_t out[headerSize] = {};
    out[1] = palettised ? 1 : 0;
    out[2] = palettised ? 1 : 2;
    writeU16(out + 5, palettised ? 256 : 0);
    out[7] = palettised ? 24 : 0;
    writeU16(out + 12, static_cast<unsigned>(pictureWidth));
    writeU16(out + 14, static_cast<unsigned>(pictureHeight));
    out[16] = static_cast<std::uint8_t>(bits);
    out[17] = 0x20;
    target->write(out, headerSize);

    if (palettised) {
        std::uint8_t map[256 * 3];
        const std::uint32_t* colours = palette->lock();
        for (int k = 0; k < 256; ++k) {
            map[3 * k] = colours[k] & 0xFF;
            map[3 * k + 1] = (colours[k] >> 8) & 0xFF;
            map[3 * k + 2] = (colours[k] >> 16) & 0xFF;
        }
        palette->unlock();
        target->write(map, sizeof map);
    }
    const std::size_t rowBytes = static_cast<std::size_t>(pictureFormat.bytes()) * pictureWidth;
    for (int y = 0; y < pictureHeight; ++y)
        target->write(pixels + y * rowBytes, static_cast<int>(rowBytes));
    target->close();
    delete target;
    return 1;
}
