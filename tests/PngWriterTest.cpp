#include "capture/PngWriter.h"
#include "capture/WavWriter.h"
#include "platform/ptc/Error.h"

#include <gtest/gtest.h>
#include <png.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

std::filesystem::path freshDirectory(const std::string& name) {
    auto directory = std::filesystem::path(VELMORA_BINARY_DIR) / "test-output" / name;
    std::filesystem::remove_all(directory);
    return directory;
}

// Reads a PNG back through libpng as 0x00RRGGBB; empty when it cannot.
std::vector<std::uint32_t> readPng(const std::filesystem::path& path, int& width, int& height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return {};
    image.format = PNG_FORMAT_RGB;
    std::vector<png_byte> bytes(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr))
        return {};
    width = static_cast<int>(image.width);
    height = static_cast<int>(image.height);
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] =
            std::uint32_t(bytes[i * 3]) << 16 | std::uint32_t(bytes[i * 3 + 1]) << 8 | bytes[i * 3 + 2];
    return pixels;
}

std::vector<std::uint32_t> testPicture(int width, int height) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    std::uint32_t state = 12345;
    for (auto& pixel : pixels) {
        state = state * 1103515245u + 12345u;
        pixel = state >> 8 & 0xFFFFFF;
    }
    return pixels;
}

} // namespace

TEST(PngWriter, FileReadsBackIdentically) {
    auto directory = freshDirectory("png-single");
    std::filesystem::create_directories(directory);
    auto pixels = testPicture(37, 11);
    ptc::writePng((directory / "picture.png").string(), pixels.data(), 37, 11);

    int width = 0, height = 0;
    auto read = readPng(directory / "picture.png", width, height);
    EXPECT_EQ(width, 37);
    EXPECT_EQ(height, 11);
    EXPECT_EQ(read, pixels);
}

TEST(PngWriter, TopByteIsNotWritten) {
    auto directory = freshDirectory("png-top-byte");
    std::filesystem::create_directories(directory);
    std::uint32_t pixels[2] = {0xFF102030, 0x7F405060};
    ptc::writePng((directory / "two.png").string(), pixels, 2, 1);
    int width = 0, height = 0;
    EXPECT_EQ(readPng(directory / "two.png", width, height),
              (std::vector<std::uint32_t>{0x102030, 0x405060}));
}

TEST(PngWriter, SinkNumbersFramesInANewDirectory) {
    auto directory = freshDirectory("png-sink") / "nested";
    auto sink = ptc::pngFileSink(directory.string());
    auto first = testPicture(8, 4);
    auto second = testPicture(8, 5);
    sink(first.data(), 8, 4);
    sink(second.data(), 8, 5);

    int width = 0, height = 0;
    EXPECT_EQ(readPng(directory / "frame000000.png", width, height), first);
    EXPECT_EQ(readPng(directory / "frame000001.png", width, height), second);
    EXPECT_FALSE(std::filesystem::exists(directory / "frame000002.png"));
}

TEST(PngWriter, FailuresAreReportedNotIgnored) {
    auto directory = freshDirectory("png-failures");
    std::uint32_t pixel = 0;
    EXPECT_THROW(ptc::writePng((directory / "missing" / "x.png").string(), &pixel, 1, 1), ptc::DynamicError);
    EXPECT_THROW(ptc::writePng((directory / "x.png").string(), &pixel, 0, 1), ptc::DynamicError);
    std::filesystem::create_directories(directory);
    // Wider than PNG allows: the library's own error must come back as an exception.
    EXPECT_THROW(ptc::writePng((directory / "wide.png").string(), &pixel, 0x7FFFFFFF, 1), ptc::DynamicError);
}

// A full disk is named with the file and the reason; what was begun of a regular file is removed,
// and a device is never removed.
TEST(PngWriter, AFullDiskNamesTheFileAndLeavesNoTruncatedPicture) {
    std::vector<std::uint32_t> noise = testPicture(512, 384);
    std::string message;
    try {
        ptc::writePng("/dev/full", noise.data(), 512, 384);
    } catch (const ptc::DynamicError& error) {
        message = error.what();
    }
    EXPECT_EQ(message, "PNG writer: Write Error in /dev/full (No space left on device)");
    EXPECT_TRUE(std::filesystem::exists("/dev/full"));
}

// Sizes in a WAV header: RIFF size at byte 4, data size at byte 40, little-endian.
namespace {
std::uint32_t headerField(const std::string& bytes, std::size_t at) {
    return std::uint32_t(std::uint8_t(bytes[at])) | std::uint32_t(std::uint8_t(bytes[at + 1])) << 8 |
           std::uint32_t(std::uint8_t(bytes[at + 2])) << 16 | std::uint32_t(std::uint8_t(bytes[at + 3])) << 24;
}
} // namespace

// A render cut short before `finish` still leaves a WAV file whose header states what it holds.
TEST(WavWriter, HeaderStatesTheSamplesWrittenSoFar) {
    auto directory = freshDirectory("wav-unfinished");
    std::filesystem::create_directories(directory);
    std::string path = (directory / "audio.wav").string();
    WavWriter writer(path, 44100);
    std::vector<std::int16_t> samples(1470, -2);
    writer.append(samples.data(), samples.size());
    writer.append(samples.data(), 6);
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), 44u + 2 * 1476);
    EXPECT_EQ(headerField(bytes, 40), 2u * 1476);
    EXPECT_EQ(headerField(bytes, 4), 36u + 2 * 1476);
    EXPECT_EQ(bytes.substr(44, 2), std::string("\xFE\xFF", 2));
}
