#include "PictureWriter.h"

#include "image/JpegCodec.h"
#include "image/MemoryStream.h"
#include "image/PcxCodec.h"
#include "platform/ptc/Format.h"
#include "platform/ptc/Palette.h"

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace datagen {

namespace {

std::vector<std::uint8_t> encodeJpeg(const PictureFile& file, const std::vector<std::uint32_t>& pixels) {
    std::vector<std::uint8_t> rgb(pixels.size() * 3);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        rgb[i * 3] = static_cast<std::uint8_t>(pixels[i] >> 16);
        rgb[i * 3 + 1] = static_cast<std::uint8_t>(pixels[i] >> 8);
        rgb[i * 3 + 2] = static_cast<std::uint8_t>(pixels[i]);
    }
    // Bytes in the order red, green, blue: red is the lowest byte of a 24-bit pixel.
    ptc::Format format(24, 0x0000FF, 0x00FF00, 0xFF0000);
    auto stream = std::make_unique<MemoryStream>();
    auto bytes = stream->bytes();
    JpegCodec codec;
    const int quality = kJpegQuality;
    codec.save(stream.get(), file.width, file.height, format, nullptr, rgb.data(), &quality);
    return *bytes;
}

std::vector<std::uint8_t> encodePcx(const PictureFile& file, const std::vector<std::uint32_t>& pixels) {
    std::vector<std::uint8_t> indices(pixels.size());
    for (std::size_t i = 0; i < pixels.size(); ++i)
        indices[i] = static_cast<std::uint8_t>(pixels[i]);
    ptc::Palette palette;
    std::uint32_t* entries = palette.lock();
    for (std::uint32_t i = 0; i < 256; ++i)
        entries[i] = i << 16 | i << 8 | i;
    palette.unlock();
    ptc::Format format(8);
    auto stream = std::make_unique<MemoryStream>();
    auto bytes = stream->bytes();
    PcxCodec codec;
    codec.save(stream.get(), file.width, file.height, format, &palette, indices.data(), nullptr);
    return *bytes;
}

} // namespace

std::vector<std::uint8_t> encodePicture(const PictureFile& file, const std::vector<std::uint32_t>& pixels) {
    if (pixels.size() != static_cast<std::size_t>(file.width) * file.height)
        throw std::logic_error("picture " + file.name + " was painted at the wrong size");
    return file.format == PictureFormat::Pcx ? encodePcx(file, pixels) : encodeJpeg(file, pixels);
}

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
        throw std::runtime_error("cannot write " + path);
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (std::fclose(out) != 0)
        written = false;
    if (!written)
        throw std::runtime_error("cannot write " + path);
}

} // namespace datagen
