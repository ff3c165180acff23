#include "ImageTestSupport.h"

#include "image/JpegCodec.h"
#include "image/PcxCodec.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

#include <jpeglib.h>

using namespace imagetest;

namespace {

struct ToolRun {
    int status;
    std::string output; // standard output and standard error together
};

ToolRun velmoraImage(const std::string& arguments) {
    std::string command = std::string(VELMORA_BINARY_DIR) + "/velmora-image " + arguments + " 2>&1";
    ToolRun run{-1, ""};
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe))
        run.output += buffer;
    int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::vector<std::uint32_t> littleEndianWords(const ByteVector& bytes) {
    std::vector<std::uint32_t> words;
    for (std::size_t i = 0; i + 3 < bytes.size(); i += 4)
        words.push_back(bytes[i] | bytes[i + 1] << 8 | bytes[i + 2] << 16 | static_cast<std::uint32_t>(bytes[i + 3]) << 24);
    return words;
}

// A 24-bit TGA of the given 0x00RRGGBB pixels, top-down.
ByteVector tgaOf(const std::vector<std::uint32_t>& pixels, int width, int height) {
    Bytes file;
    file.u8(0).u8(0).u8(2).u16(0).u16(0).u8(0).u16(0).u16(0).u16(width).u16(height).u8(24).u8(0x20);
    for (std::uint32_t pixel : pixels)
        file.u8(pixel & 0xFF).u8(pixel >> 8 & 0xFF).u8(pixel >> 16);
    return file;
}

ByteVector libjpegDecodeRgb(const ByteVector& file, int& width, int& height) {
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, file.data(), file.size());
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    width = static_cast<int>(info.output_width);
    height = static_cast<int>(info.output_height);
    ByteVector pixels(static_cast<std::size_t>(width) * height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels.data() + static_cast<std::size_t>(info.output_scanline) * width * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return pixels;
}

} // namespace

TEST(VelmoraImage, DumpsAJpegAsLibjpegDecodesIt) {
    TemporaryDirectory directory;
    ByteVector pixels;
    for (int y = 0; y < 19; ++y)
        for (int x = 0; x < 23; ++x)
            pixels.insert(pixels.end(), {static_cast<std::uint8_t>(x * 11), static_cast<std::uint8_t>(y * 13),
                                         static_cast<std::uint8_t>((x * y) & 0xFF)});
    MemoryStream stream;
    JpegCodec().save(&stream, 23, 19, formatRGB(), nullptr, pixels.data(), nullptr);
    const std::string name = directory.write("in.jpg", *stream.bytes());

    ToolRun run = velmoraImage("dump " + name + " " + directory.path("out.raw"));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "23 19\n");
    int width = 0, height = 0;
    ByteVector reference = libjpegDecodeRgb(*stream.bytes(), width, height);
    std::vector<std::uint32_t> expected;
    for (std::size_t i = 0; i < reference.size(); i += 3)
        expected.push_back(static_cast<std::uint32_t>(reference[i]) << 16 | reference[i + 1] << 8 | reference[i + 2]);
    EXPECT_EQ(littleEndianWords(directory.read("out.raw")), expected);
}

TEST(VelmoraImage, InfoNamesCodecSizeDepthAndPalette) {
    TemporaryDirectory directory;
    const std::string name = directory.write("in.bin", tgaOf({0x102030, 0x405060}, 2, 1));
    ToolRun run = velmoraImage("info " + name);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "codec TGA\nwidth 2\nheight 1\nbits 24\npalette no\n");
}

TEST(VelmoraImage, BytesGivesTheBlueChannel) {
    TemporaryDirectory directory;
    const std::string name = directory.write("in.tga", tgaOf({0x102030, 0x405060, 0x7080F0}, 3, 1));
    ToolRun run = velmoraImage("bytes " + name + " " + directory.path("out.bytes"));
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "3 1\n");
    EXPECT_EQ(directory.read("out.bytes"), (ByteVector{0x30, 0x60, 0xF0}));
}

TEST(VelmoraImage, ConvertsLosslesslyThroughBmpPcxAndTgaInBothDepths) {
    TemporaryDirectory directory;
    const std::vector<std::uint32_t> pixels{0xFF0000, 0x00FF00, 0x0000FF, 0xC0C0C0, 0x123456, 0xFF0000};
    const std::string input = directory.write("in.tga", tgaOf(pixels, 3, 2));
    for (std::string format : {"bmp", "pcx", "tga"}) {
        for (std::string depth : {"", " --indexed"}) {
            const std::string out = directory.path("out." + format);
            ToolRun convert = velmoraImage("convert " + input + " " + out + " --format " + format + depth);
            ASSERT_EQ(convert.status, 0) << convert.output;
            EXPECT_EQ(convert.output, "");
            ToolRun info = velmoraImage("info " + out);
            EXPECT_NE(info.output.find(depth.empty() ? "bits 24\npalette no" : "bits 8\npalette yes"), std::string::npos)
                << format << depth << ": " << info.output;
            ToolRun dump = velmoraImage("dump " + out + " " + directory.path("out.raw"));
            EXPECT_EQ(littleEndianWords(directory.read("out.raw")), pixels) << format << depth;
        }
    }
}

TEST(VelmoraImage, ConvertsToJpegWithTheGivenQuality) {
    TemporaryDirectory directory;
    std::vector<std::uint32_t> pixels(16 * 16, 0x3060C0);
    const std::string input = directory.write("in.tga", tgaOf(pixels, 16, 16));
    ToolRun run = velmoraImage("convert " + input + " " + directory.path("out.jpg") + " --format jpeg --quality 95");
    ASSERT_EQ(run.status, 0) << run.output;
    ByteVector file = directory.read("out.jpg");
    int width = 0, height = 0;
    ByteVector decoded = libjpegDecodeRgb(file, width, height);
    EXPECT_EQ(width, 16);
    EXPECT_NEAR(decoded[0], 0x30, 2);
    EXPECT_NEAR(decoded[2], 0xC0, 2);
}

TEST(VelmoraImage, EveryFailureIsOneLineAndStatusOne) {
    TemporaryDirectory directory;
    ToolRun missing = velmoraImage("info " + directory.path("missing.jpg"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.output, "velmora-image: Zarvo error - Cannot open file, " + directory.path("missing.jpg") + "\n");

    std::vector<std::uint32_t> manyColours(300);
    for (std::size_t i = 0; i < manyColours.size(); ++i)
        manyColours[i] = static_cast<std::uint32_t>(i);
    const std::string colourful = directory.write("many.tga", tgaOf(manyColours, 300, 1));
    ToolRun tooMany = velmoraImage("convert " + colourful + " " + directory.path("o.pcx") + " --format pcx --indexed");
    EXPECT_EQ(tooMany.status, 1);
    EXPECT_EQ(tooMany.output, "velmora-image: " + colourful + " has more than 256 colours; --indexed needs at most 256\n");

    const std::string few = directory.write("few.tga", tgaOf({1, 2}, 2, 1));
    ToolRun jpegIndexed = velmoraImage("convert " + few + " " + directory.path("o.jpg") + " --format jpeg --indexed");
    EXPECT_EQ(jpegIndexed.status, 1);
    EXPECT_EQ(jpegIndexed.output, "velmora-image: Zarvo error - Jpegs can only be saved from 24-bit Surfaces\n");

    const std::string garbage = directory.write("garbage.jpg", Bytes().text("not a picture"));
    ToolRun unsupported = velmoraImage("dump " + garbage + " " + directory.path("x"));
    EXPECT_EQ(unsupported.status, 1);
    EXPECT_EQ(unsupported.output, "velmora-image: Zarvo - Unsupported file format\n");

    ToolRun badOption = velmoraImage("convert a b --format gif");
    EXPECT_EQ(badOption.status, 1);
    EXPECT_EQ(std::count(badOption.output.begin(), badOption.output.end(), '\n'), 1);
}

TEST(VelmoraImage, ACorruptJpegIsReportedAsOneLine) {
    TemporaryDirectory directory;
    ByteVector pixels(3 * 16 * 16, 0x50);
    MemoryStream stream;
    JpegCodec().save(&stream, 16, 16, formatRGB(), nullptr, pixels.data(), nullptr);
    ByteVector file = *stream.bytes();
    for (std::size_t i = 2; i + 9 < file.size(); ++i)
        if (file[i] == 0xFF && file[i + 1] == 0xC0) {
            file[i + 9] = 0; // no components
            break;
        }
    ToolRun run = velmoraImage("info " + directory.write("bad.jpg", file));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output.rfind("velmora-image: Zarvo error - Corrupt JPEG data: ", 0), 0u) << run.output;
    EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1);
}
