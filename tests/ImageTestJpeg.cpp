#include "ImageTestSupport.h"

#include "image/FileStream.h"
#include "image/JpegCodec.h"
#include "image/PictureLoading.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include <jpeglib.h>

using namespace imagetest;

namespace {

// A smooth colour picture, 3 bytes per pixel in the byte order R, G, B.
ByteVector gradient(int width, int height) {
    ByteVector pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int value : {x * 255 / width, y * 255 / height, (x + y) * 127 / (width + height)})
                pixels.push_back(static_cast<std::uint8_t>(value));
    return pixels;
}

ByteVector saveJpeg(const ByteVector& pixels, int width, int height, const ptc::Format& format, int quality = 90) {
    MemoryStream stream;
    JpegCodec().save(&stream, width, height, format, nullptr, pixels.data(), &quality);
    return *stream.bytes();
}

// Encodes with libjpeg directly: `components` 1 gives a grayscale JFIF file.
ByteVector libjpegEncode(int width, int height, int components) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = width;
    info.image_height = height;
    info.input_components = components;
    info.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_start_compress(&info, TRUE);
    ByteVector row(static_cast<std::size_t>(width) * components, 0x80);
    for (int y = 0; y < height; ++y) {
        JSAMPROW rowPointer = row.data();
        jpeg_write_scanlines(&info, &rowPointer, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    ByteVector result(buffer, buffer + size);
    std::free(buffer);
    return result;
}

// libjpeg's own decode with every parameter left at its default.
ByteVector libjpegDecode(const ByteVector& file) {
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, file.data(), file.size());
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    ByteVector pixels(static_cast<std::size_t>(info.output_width) * info.output_height * info.output_components);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels.data() + static_cast<std::size_t>(info.output_scanline) * info.output_width *
                                           info.output_components;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return pixels;
}

// Offset of the baseline start-of-frame marker's height field.
std::size_t frameHeaderSizes(const ByteVector& file) {
    for (std::size_t i = 2; i + 9 < file.size(); ++i)
        if (file[i] == 0xFF && file[i + 1] == 0xC0)
            return i + 5;
    return 0;
}

// Collects libjpeg's messages instead of printing them or ending the process.
std::string lastFatal;
int warnings = 0;
void recordFatal(const char* message) { lastFatal = message; }
void countWarning(const char*) { ++warnings; }

struct QuietJpeg : ::testing::Test {
    void SetUp() override {
        lastFatal.clear();
        warnings = 0;
        previousFatal = JpegCodec::setFatalHandler(recordFatal);
        previousWarning = JpegCodec::setWarningHandler(countWarning);
    }
    void TearDown() override {
        JpegCodec::setFatalHandler(previousFatal);
        JpegCodec::setWarningHandler(previousWarning);
    }
    JpegCodec::MessageHandler previousFatal = nullptr;
    JpegCodec::MessageHandler previousWarning = nullptr;
};

} // namespace

TEST(JpegCodec, DecodesExactlyAsLibjpegDoesByDefault) {
    ByteVector file = saveJpeg(gradient(37, 21), 37, 21, formatRGB());
    Image image(streamOver(file));
    EXPECT_STREQ(image.codecName(), "JPEG");
    EXPECT_EQ(image.format(), formatRGB());
    EXPECT_FALSE(image.hasPalette());
    EXPECT_EQ(image.width(), 37);
    EXPECT_EQ(image.height(), 21);
    EXPECT_EQ(decodedBytes(image), libjpegDecode(file));
}

TEST(JpegCodec, RedStaysRedThroughConversion) {
    ByteVector red;
    for (int i = 0; i < 16 * 16; ++i)
        red.insert(red.end(), {0xFF, 0x00, 0x00});
    std::vector<std::uint32_t> pixels = decodeToRgb(saveJpeg(red, 16, 16, formatRGB(), 100));
    for (std::uint32_t pixel : pixels) {
        EXPECT_GE(pixel >> 16, 0xFDu);
        EXPECT_LE(pixel & 0xFFFF, 0x0202u);
    }
}

TEST(JpegCodec, SavingBlueFirstPixelsSwapsThemToRedFirst) {
    ByteVector rgb = gradient(9, 5), bgr = rgb;
    for (std::size_t i = 0; i < bgr.size(); i += 3)
        std::swap(bgr[i], bgr[i + 2]);
    EXPECT_EQ(saveJpeg(bgr, 9, 5, formatBGR()), saveJpeg(rgb, 9, 5, formatRGB()));
}

TEST(JpegCodec, QualityDefaultsTo75) {
    ByteVector pixels = gradient(16, 16);
    MemoryStream stream;
    JpegCodec().save(&stream, 16, 16, formatRGB(), nullptr, pixels.data(), nullptr);
    EXPECT_EQ(*stream.bytes(), saveJpeg(pixels, 16, 16, formatRGB(), 75));
    EXPECT_NE(*stream.bytes(), saveJpeg(pixels, 16, 16, formatRGB(), 74));
    EXPECT_EQ(stream.tell(), static_cast<int>(stream.bytes()->size())) << "the stream stays open";
}

TEST(JpegCodec, RefusesGrayscaleAndOtherDepths) {
    EXPECT_EQ(decodeError(libjpegEncode(8, 8, 1)), "Zarvo error - Can't do grayscale jpegs yet, author too lazy");
    std::uint8_t pixels[16] = {};
    MemoryStream stream;
    EXPECT_EQ(errorOf([&] { JpegCodec().save(&stream, 2, 2, formatIndexed(), nullptr, pixels, nullptr); }),
              "Zarvo error - Jpegs can only be saved from 24-bit Surfaces");
    EXPECT_EQ(errorOf([&] {
                  JpegCodec().save(&stream, 2, 2, ptc::Format(32, 0xFF0000, 0xFF00, 0xFF), nullptr, pixels, nullptr);
              }),
              "Zarvo error - Jpegs can only be saved from 24-bit Surfaces");
    EXPECT_EQ(errorOf([&] { JpegCodec().save(&stream, 70000, 1, formatRGB(), nullptr, pixels, nullptr); }),
              "Zarvo error - Cannot save a JPEG of 70000 x 1 pixels");
}

TEST(JpegCodec, RecognisesOnlyJfifFiles) {
    ByteVector file = saveJpeg(gradient(8, 8), 8, 8, formatRGB());
    ASSERT_EQ(std::string(file.begin() + 6, file.begin() + 10), "JFIF");
    file[9] = 'X';
    EXPECT_EQ(decodeError(file), "Zarvo - Unsupported file format");
    EXPECT_EQ(decodeError(ByteVector{0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I'}),
              "Zarvo - Unsupported file format");
}

TEST(JpegCodec, RefusesDimensionsBeyondThePixelLimitBeforeDecoding) {
    ByteVector file = saveJpeg(gradient(8, 8), 8, 8, formatRGB());
    std::size_t sizes = frameHeaderSizes(file);
    ASSERT_NE(sizes, 0u);
    // 60000 x 60000 pixels would need 10 GB.
    file[sizes] = 60000 >> 8, file[sizes + 1] = 60000 & 0xFF;
    file[sizes + 2] = 60000 >> 8, file[sizes + 3] = 60000 & 0xFF;
    EXPECT_EQ(decodeError(file), "Zarvo error - Picture of 60000 x 60000 pixels is too large");
}

TEST(JpegCodec, TallStripsWithinThePixelLimitAreAccepted) {
    ByteVector pixels(3 * 8 * 20000, 0x40);
    ByteVector file = saveJpeg(pixels, 8, 20000, formatRGB(), 50);
    Image image(streamOver(file));
    EXPECT_EQ(image.height(), 20000);
}

TEST_F(QuietJpeg, ATruncatedFileIsRefused) {
    ByteVector file = saveJpeg(gradient(64, 64), 64, 64, formatRGB());
    std::size_t scanStart = 0;
    for (std::size_t i = 2; i + 1 < file.size() && !scanStart; ++i)
        if (file[i] == 0xFF && file[i + 1] == 0xDA)
            scanStart = i;
    ASSERT_NE(scanStart, 0u);
    file.resize(scanStart + 40); // the scan header and a little entropy-coded data
    EXPECT_EQ(decodeError(file), "Zarvo error - Unexpected end of file");
    EXPECT_GE(warnings, 1);
    EXPECT_EQ(lastFatal, "");
}

TEST(JpegCodec, AFileEndingRightAfterItsEndMarkerLoads) {
    ByteVector file = saveJpeg(gradient(64, 64), 64, 64, formatRGB());
    ASSERT_GE(file.size(), 2u);
    EXPECT_EQ(file[file.size() - 2], 0xFF);
    EXPECT_EQ(file[file.size() - 1], 0xD9);
    Image image(streamOver(file));
    EXPECT_EQ(image.width(), 64);
}

TEST_F(QuietJpeg, ACorruptStreamReachesTheFatalHandler) {
    ByteVector file = saveJpeg(gradient(16, 16), 16, 16, formatRGB());
    std::size_t sizes = frameHeaderSizes(file);
    file[sizes + 5] = 0; // no components in the frame header
    std::string message = decodeError(file);
    EXPECT_NE(lastFatal, "");
    EXPECT_EQ(message, "Zarvo error - Corrupt JPEG data: " + lastFatal);
}

TEST(JpegCodecDeathTest, ACorruptStreamEndsTheProcessWithLibjpegsMessage) {
    ByteVector file = saveJpeg(gradient(16, 16), 16, 16, formatRGB());
    file[frameHeaderSizes(file) + 5] = 0;
    EXPECT_EXIT({ Image image(streamOver(file)); }, ::testing::ExitedWithCode(1), "Bogus|component|JPEG");
}

TEST(JpegCodec, SavesIntoAFileForLoadBitmapAndLoadByteMap) {
    TemporaryDirectory directory;
    const std::string name = directory.path("picture.pcx");
    ByteVector pixels;
    for (int i = 0; i < 8 * 8; ++i)
        pixels.insert(pixels.end(), {0x20, 0x80, 0xE0});
    auto* file = new FileStream(name.c_str(), 4);
    int quality = 100;
    JpegCodec().save(file, 8, 8, formatRGB(), nullptr, pixels.data(), &quality);
    delete file;

    std::unique_ptr<Bitmap> bitmap(loadBitmap(name.c_str()));
    ByteMap* bytes = loadByteMap(name.c_str());
    ASSERT_EQ(bitmap->width, 8);
    for (int i = 0; i < 64; ++i) {
        EXPECT_NEAR(static_cast<int>(bitmap->pixels[i] >> 16), 0x20, 2);
        EXPECT_NEAR(static_cast<int>(bitmap->pixels[i] >> 8 & 0xFF), 0x80, 2);
        EXPECT_EQ(bytes[i], bitmap->pixels[i] & 0xFF);
    }
    delete[] bytes;
}
