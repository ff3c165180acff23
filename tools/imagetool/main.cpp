// velmora-image: the image library as a command. Every failure is one line on standard error,
// "velmora-image: " and the library's message, and exit status 1.

#include "image/BmpCodec.h"
#include "image/FileStream.h"
#include "image/Image.h"
#include "image/JpegCodec.h"
#include "image/PcxCodec.h"
#include "image/PictureLoading.h"
#include "image/TgaCodec.h"
#include "platform/ptc/Error.h"
#include "platform/ptc/Surface.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

class ToolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// libjpeg's fatal errors arrive as the library's exception, reported like every other failure.
void ignoreFatal(const char*) {}
void printWarning(const char* message) { std::fprintf(stderr, "velmora-image: warning: %s\n", message); }

void writeFile(const std::string& name, const void* data, std::size_t size) {
    std::FILE* file = std::fopen(name.c_str(), "wb");
    if (!file)
        throw ToolError("cannot create " + name);
    bool written = std::fwrite(data, 1, size, file) == size;
    written = std::fclose(file) == 0 && written;
    if (!written)
        throw ToolError("cannot write " + name);
}

void info(const std::string& fileName) {
    Image image(fileName.c_str());
    std::printf("codec %s\nwidth %d\nheight %d\nbits %d\npalette %s\n", image.codecName(), image.width(),
                image.height(), image.format().bits(), image.hasPalette() ? "yes" : "no");
}

void dump(const std::string& fileName, const std::string& out) {
    std::unique_ptr<Bitmap> bitmap(loadBitmap(fileName.c_str()));
    const std::size_t count = static_cast<std::size_t>(bitmap->width) * bitmap->height;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(count * 4);
    for (std::size_t i = 0; i < count; ++i)
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<std::uint8_t>(bitmap->pixels[i] >> shift));
    writeFile(out, bytes.data(), bytes.size());
    std::printf("%d %d\n", bitmap->width, bitmap->height);
}

void byteMap(const std::string& fileName, const std::string& out) {
    int width, height;
    {
        Image image(fileName.c_str());
        width = image.width();
        height = image.height();
    }
    std::unique_ptr<ByteMap[]> bytes(loadByteMap(fileName.c_str()));
    writeFile(out, bytes.get(), static_cast<std::size_t>(width) * height);
    std::printf("%d %d\n", width, height);
}

// The picture as 0x00RRGGBB pixels.
std::vector<std::uint32_t> truecolour(const Image& image) {
    ptc::Surface surface(image.width(), image.height(), ptc::Format(32, 0xFF0000, 0x00FF00, 0x0000FF));
    image.transfer(surface);
    const auto* pixels = static_cast<const std::uint32_t*>(surface.lock());
    std::vector<std::uint32_t> result(pixels, pixels + static_cast<std::size_t>(image.width()) * image.height());
    surface.unlock();
    return result;
}

// Indices into a palette of the colours in order of first appearance; refuses more than 256.
std::vector<std::uint8_t> toIndexed(const std::vector<std::uint32_t>& pixels, ptc::Palette& palette,
                                    const std::string& fileName) {
    std::map<std::uint32_t, int> indexOf;
    std::uint32_t colours[256] = {};
    std::vector<std::uint8_t> indices;
    indices.reserve(pixels.size());
    for (std::uint32_t pixel : pixels) {
        auto [entry, added] = indexOf.try_emplace(pixel, static_cast<int>(indexOf.size()));
        if (added) {
            if (entry->second >= 256)
                throw ToolError(fileName + " has more than 256 colours; --indexed needs at most 256");
            colours[entry->second] = pixel;
        }
        indices.push_back(static_cast<std::uint8_t>(entry->second));
    }
    palette.load(colours);
    return indices;
}

void convert(const std::string& in, const std::string& out, const std::string& format, std::optional<int> quality,
             bool indexed) {
    if (quality && format != "jpeg")
        throw ToolError("--quality applies to jpeg only");
    Image image(in.c_str());
    const std::vector<std::uint32_t> pixels = truecolour(image);
    ptc::Palette palette;
    std::vector<std::uint8_t> data;
    ptc::Format dataFormat;
    if (indexed) {
        data = toIndexed(pixels, palette, in);
        dataFormat = ptc::Format(8);
    } else {
        data.reserve(pixels.size() * 3);
        for (std::uint32_t pixel : pixels)
            data.insert(data.end(), {static_cast<std::uint8_t>(pixel), static_cast<std::uint8_t>(pixel >> 8),
                                     static_cast<std::uint8_t>(pixel >> 16)});
        dataFormat = ptc::Format(24, 0xFF0000, 0x00FF00, 0x0000FF);
    }

    auto stream = std::make_unique<FileStream>(out.c_str(), 4);
    if (stream->failed())
        throw ToolError("cannot create " + out);
    const int compression = 0;
    const int jpegQuality = quality.value_or(75);
    if (format == "jpeg") {
        JpegCodec().save(stream.get(), image.width(), image.height(), dataFormat, &palette, data.data(),
                         &jpegQuality);
    } else if (format == "pcx") {
        PcxCodec().save(stream.get(), image.width(), image.height(), dataFormat, &palette, data.data(), &compression);
    } else if (format == "bmp") {
        // These savers close and delete the stream themselves.
        BmpCodec().save(stream.release(), image.width(), image.height(), dataFormat, &palette, data.data(),
                        &compression);
    } else {
        TgaCodec().save(stream.release(), image.width(), image.height(), dataFormat, &palette, data.data(),
                        &compression);
    }
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"velmora-image: inspect, dump and convert pictures through the show's image library"};
    app.require_subcommand(1);
    std::string file, out, format;
    std::optional<int> quality;
    bool indexed = false;

    CLI::App* infoCommand = app.add_subcommand("info", "print the codec, width, height, bits per pixel and palette");
    infoCommand->add_option("FILE", file, "picture file")->required();
    CLI::App* dumpCommand =
        app.add_subcommand("dump", "write the 32-bit pixels (little-endian 0x00RRGGBB, rows from the top)");
    dumpCommand->add_option("FILE", file, "picture file")->required();
    dumpCommand->add_option("OUT", out, "output file")->required();
    CLI::App* bytesCommand = app.add_subcommand("bytes", "write the blue byte of every pixel");
    bytesCommand->add_option("FILE", file, "picture file")->required();
    bytesCommand->add_option("OUT", out, "output file")->required();
    CLI::App* convertCommand = app.add_subcommand("convert", "write the picture through another codec");
    convertCommand->add_option("IN", file, "picture file")->required();
    convertCommand->add_option("OUT", out, "output file")->required();
    convertCommand->add_option("--format", format, "jpeg, bmp, pcx or tga")
        ->required()
        ->check(CLI::IsMember({"jpeg", "bmp", "pcx", "tga"}));
    convertCommand->add_option("--quality", quality, "JPEG quality 0..100 (default 75)")->check(CLI::Range(0, 100));
    convertCommand->add_flag("--indexed", indexed, "write 8 bits per pixel with a palette (at most 256 colours)");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::printf("%s", app.help().c_str());
        return 0;
    } catch (const CLI::ParseError& error) {
        std::fprintf(stderr, "velmora-image: %s\n", error.what());
        return 1;
    }

    JpegCodec::setFatalHandler(ignoreFatal);
    JpegCodec::setWarningHandler(printWarning);
    try {
        if (*infoCommand)
            info(file);
        else if (*dumpCommand)
            dump(file, out);
        else if (*bytesCommand)
            byteMap(file, out);
        else
            convert(file, out, format, quality, indexed);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "velmora-image: %s\n", error.what());
        return 1;
    }
    return 0;
}
