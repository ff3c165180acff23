#include "image/PcxCodec.h"

#include "platform/ptc/Error.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int headerSize = 128;
constexpr int paletteMarker = 12;
// The marker byte and 256 entries of red, green, blue at the very end of an 8-bit file.
constexpr int paletteTrailerSize = 1 + 256 * 3;
// The longest run one pair of bytes can describe.
constexpr int longestRun = 63;

} // namespace

PcxCodec::PcxCodec() : ImageCodec(nullptr) {}

PcxCodec::PcxCodec(Stream* source) : ImageCodec(source) {
    if (!stream)
        return;
    stream->seek(0, 0);
    if (stream->read(header, headerSize) != headerSize)
        std::memset(header, 0, sizeof header);
    int xMin = static_cast<int>(readU16(header + 4)), yMin = static_cast<int>(readU16(header + 6));
    int xMax = static_cast<int>(readU16(header + 8)), yMax = static_cast<int>(readU16(header + 10));
    width = xMax - xMin + 1;
    height = yMax - yMin + 1;
    if (planes() == 1) {
        format = ptc::Format(8);
        hasPalette = 1;
    } else if (planes() == 3) {
        format = ptc::Format(24, 0xFF0000, 0x00FF00, 0x0000FF, 0);
    }
}

int PcxCodec::isValid() { return header[0] == 10 && header[1] == 5 ? 1 : 0; }

void PcxCodec::checkHeader() {
    if (!isValid())
        fail("Not a PCX picture");
    if (format.empty())
        fail("PCX files with " + std::to_string(planes()) + " planes are not supported");
    if (width <= 0 || height <= 0)
        fail("PCX picture has no pixels (xMax or yMax below xMin or yMin)");
    checkDimensions(width, height);
    if (bytesPerLine() < width)
        fail("PCX bytes per line (" + std::to_string(bytesPerLine()) + ") shorter than the width (" +
             std::to_string(width) + ")");
    // Two encoded bytes yield at most 63 decoded ones, so a file too short for the lines its header
    // promises is refused before anything is allocated.
    unsigned long long decoded = static_cast<unsigned long long>(planes()) * bytesPerLine() * height;
    long long encoded = static_cast<long long>(stream->size()) - headerSize;
    if (encoded < 0 || static_cast<unsigned long long>(encoded) * longestRun < decoded * 2 - 1)
        fail("Unexpected end of file");
}

void PcxCodec::decodeLine(std::uint8_t* line, int length) {
    int filled = 0;
    std::uint8_t code;
    while (filled < length) {
        if (stream->read(&code, 1) != 1)
            fail("Unexpected end of file");
        int count = 1;
        if (code > 0xC0) {
            count = code - 0xC0;
            if (stream->read(&code, 1) != 1)
                fail("Unexpected end of file");
        }
        count = std::min(count, length - filled);
        std::memset(line + filled, code, static_cast<std::size_t>(count));
        filled += count;
    }
}

int PcxCodec::load(std::uint8_t* pixels, ptc::Palette* palette) {
    if (!pixels)
        fail("no pixels to load image onto");
    checkHeader();

    if (hasPalette) {
        std::uint8_t trailer[paletteTrailerSize];
        if (stream->size() < headerSize + paletteTrailerSize || stream->seek(-paletteTrailerSize, 2) < 0 ||
            stream->read(trailer, paletteTrailerSize) != paletteTrailerSize || trailer[0] != paletteMarker)
            fail("no palette in 8-bit .PCX file");
        std::uint32_t colours[256];
        for (int k = 0; k < 256; ++k) {
            const std::uint8_t* entry = trailer + 1 + 3 * k;
            colours[k] = static_cast<std::uint32_t>(entry[0]) << 16 | entry[1] << 8 | entry[2];
        }
        if (palette)
            palette->load(colours);
    }

    stream->seek(headerSize, 0);
    const int lineLength = planes() * bytesPerLine();
    const int stride = bytesPerLine();
    std::vector<std::uint8_t> line(static_cast<std::size_t>(lineLength), 0);
    const std::size_t rowBytes = static_cast<std::size_t>(format.bytes()) * width;
    for (int y = 0; y < height; ++y) {
        decodeLine(line.data(), lineLength);
        std::uint8_t* row = pixels + y * rowBytes;
        if (planes() == 1) {
            std::memcpy(row, line.data(), static_cast<std::size_t>(width));
            continue;
        }
        const std::uint8_t* red = line.data();
        const std::uint8_t* green = red + stride;
        const std::uint8_t* blue = green + stride;
        for (int x = 0; x < width; ++x) {
            row[3 * x] = blue[x];
            row[3 * x + 1] = green[x];
            row[3 * x + 2] = red[x];
        }
    }
    return 1;
}

void PcxCodec::encodeLine(const std::uint8_t* line, int count, std::vector<std::uint8_t>& out) {
    if (count <= 0)
        return;
    auto emit = [&out](std::uint8_t value, int runLength) {
        if (runLength == 1 && value < 0xC0) {
            out.push_back(value);
        } else {
            out.push_back(static_cast<std::uint8_t>(0xC0 | runLength));
            out.push_back(value);
        }
    };
    std::uint8_t current = line[0];
    int runLength = 1;
    for (int i = 1; i < count; ++i) {
        if (line[i] == current) {
            if (++runLength == longestRun) {
                emit(current, runLength);
                runLength = 0;
            }
        } else {
            if (runLength > 0)
                emit(current, runLength);
            current = line[i];
            runLength = 1;
        }
    }
    if (runLength > 0)
        emit(current, runLength);
}

int PcxCodec::save(Stream* target, int pictureWidth, int pictureHeight, const ptc::Format& pictureFormat,
                   ptc::Palette* palette, const std::uint8_t* pixels, const int* options) {
    if (options && *options != 0)
        fail("Cannot save compressed .PCX files");
    const int bits = pictureFormat.bits();
    if (bits != 8 && bits != 24)
        throw ptc::DynamicError("Zarvo error,  You can only save 8bit and 24bit .PCX files");
    if (!target || !pixels)
        fail("no stream or no pixels to save");
    // The header holds sizes in 16 bits.
    if (pictureWidth <= 0 || pictureHeight <= 0 || pictureWidth > 65535 || pictureHeight > 65535)
        fail("Cannot save a .PCX file of " + std::to_string(pictureWidth) + " x " +
             std::to_string(pictureHeight) + " pixels");
    const bool palettised = bits == 8;
    if (palettised && !palette)
        fail("no palette to save with an 8-bit .PCX file");

    const int lineBytes = (pictureWidth + 1) & ~1;
    std::uint8_t out[headerSize] = {};
    out[0] = 10;
    out[1] = 5;
    out[2] = 1;
    out[3] = 8;
    writeU16(out + 8, static_cast<unsigned>(pictureWidth - 1));
    writeU16(out + 10, static_cast<unsigned>(pictureHeight - 1));
    writeU16(out + 12, 300);
    writeU16(out + 14, 300);
    out[65] = palettised ? 1 : 3;
    writeU16(out + 66, static_cast<unsigned>(lineBytes));
    writeU16(out + 68, 1);
    writeU16(out + 70, static_cast<unsigned>(pictureWidth));
    writeU16(out + 72, static_cast<unsigned>(pictureHeight));
    target->write(out, headerSize);

    std::vector<std::uint8_t> plane(static_cast<std::size_t>(lineBytes), 0);
    std::vector<std::uint8_t> encoded;
    const std::size_t rowBytes = static_cast<std::size_t>(pictureFormat.bytes()) * pictureWidth;
    for (int y = 0; y < pictureHeight; ++y) {
        const std::uint8_t* row = pixels + y * rowBytes;
        encoded.clear();
        if (palettised) {
            std::memcpy(plane.data(), row, static_cast<std::size_t>(pictureWidth));
            encodeLine(plane.data(), lineBytes, encoded);
        } else {
            // Red is the third byte of a B, G, R pixel.
            for (int channel = 2; channel >= 0; --channel) {
                for (int x = 0; x < pictureWidth; ++x)
                    plane[x] = row[3 * x + channel];
                encodeLine(plane.data(), lineBytes, encoded);
            }
        }
        target->write(encoded.data(), static_cast<int>(encoded.size()));
    }

    if (palettised) {
        std::uint8_t trailer[paletteTrailerSize];
        trailer[0] = paletteMarker;
        const std::uint32_t* colours = palette->lock();
        for (int k = 0; k < 256; ++k) {
            trailer[1 + 3 * k] = (colours[k] >> 16) & 0xFF;
            trailer[2 + 3 * k] = (colours[k] >> 8) & 0xFF;
            trailer[3 + 3 * k] = colours[k] & 0xFF;
        }
        palette->unlock();
        target->write(trailer, paletteTrailerSize);
    }
    target->close();
    return 1;
}
