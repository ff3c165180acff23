// velmora-icon: the program's icon from a frame of the show. Reads a PNG file (as the show's
// --png-dir writes them) and writes its centred square as a SIZE x SIZE PNG file. A build tool;
// it is not installed.

#include "Thumbnail.h"
#include "capture/PngWriter.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// The picture as 0x00RRGGBB pixels, through libpng's simplified reader (BGRA bytes are the
// little-endian form of 0xAARRGGBB).
std::vector<std::uint32_t> readPng(const std::string& path, int& width, int& height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        throw std::runtime_error(path + ": " + image.message);
    image.format = PNG_FORMAT_BGRA;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(image.width) * image.height);
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr))
        throw std::runtime_error(path + ": " + image.message);
    for (std::uint32_t& pixel : pixels)
        pixel &= 0xFFFFFF;
    width = static_cast<int>(image.width);
    height = static_cast<int>(image.height);
    return pixels;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: velmora-icon IN.png OUT.png SIZE\n");
        return 1;
    }
    const int size = std::atoi(argv[3]);
    if (size < 1 || size > 4096) {
        std::fprintf(stderr, "velmora-icon: SIZE must be 1 to 4096\n");
        return 1;
    }
    try {
        int width = 0, height = 0;
        std::vector<std::uint32_t> frame = readPng(argv[1], width, height);
        std::vector<std::uint32_t> thumbnail = icon::squareThumbnail(frame.data(), width, height, size);
        ptc::writePng(argv[2], thumbnail.data(), size, size);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "velmora-icon: %s\n", error.what());
        return 1;
    }
    return 0;
}
