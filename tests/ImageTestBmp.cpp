#include "ImageTestSupport.h"

#include "image/BmpCodec.h"

#include <gtest/gtest.h>

#include <random>

using namespace imagetest;

namespace {

Bytes bmpHeader(std::uint32_t fileSize, std::uint32_t dataOffset, std::int32_t width, std::int32_t height,
                unsigned bits, std::uint32_t compression = 0, std::uint32_t coloursUsed = 0) {
    Bytes b;
    b.text("BM")                                 // signature
        .u32(fileSize)                           // file size
        .u32(0)                                  // reserved
        .u32(dataOffset)                         // pixel data offset
        .u32(40)                                 // information header size
        .u32(static_cast<std::uint32_t>(width))  // width
        .u32(static_cast<std::uint32_t>(height)) // height
        .u16(1)                                  // planes
        .u16(bits)                               // bits per pixel
        .u32(compression)                        // compression
        .u32(0)                                  // image size
        .u32(2835)                               // horizontal pixels per metre
        .u32(2835)                               // vertical pixels per metre
        .u32(coloursUsed)                        // colours used
        .u32(0);                                 // important colours
    return b;
}

} // namespace

TEST(BmpCodec, DecodesAStandardTwentyFourBitFileWithPaddedRows) {
    Bytes file = bmpHeader(54 + 12 * 2, 54, 3, 2, 24);
    file.raw({0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09}).fill(3, 0xEE) // bottom row, padding
        .raw({0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19}).fill(3, 0xEE); // top row
    Image image(streamOver(file));
    EXPECT_STREQ(image.codecName(), "BMP");
    EXPECT_EQ(image.format(), formatBGR());
    EXPECT_EQ(converted(image),
              (std::vector<std::uint32_t>{0x131211, 0x161514, 0x191817, 0x030201, 0x060504, 0x090807}));
}

TEST(BmpCodec, ReadsAsManyPaletteEntriesAsTheColoursUsedField) {
    for (unsigned used : {0u, 16u}) {
        Bytes file = bmpHeader(54 + 256 * 4 + 4, 54 + 256 * 4, 2, 2, 8, 0, used);
        for (unsigned k = 0; k < 256; ++k)
            file.u8(k).u8(0x40).u8(255 - k).u8(0x99);  // blue, green, red, reserved
        file.raw({15, 16})                              // bottom row
            .raw({255, 0});                             // top row
        Image image(streamOver(file));
        const std::uint32_t* palette = image.palette().data();
        EXPECT_EQ(palette[15], 0xF0400Fu);
        EXPECT_EQ(palette[16], used == 16 ? 0u : 0xEF4010u);
        EXPECT_EQ(palette[255], used == 16 ? 0u : 0x0040FFu);
        EXPECT_EQ(converted(image), (std::vector<std::uint32_t>{palette[255], 0xFF4000, 0xF0400F, palette[16]}));
    }
}

TEST(BmpCodec, TakesTheRowLengthFromTheFileSize) {
    // 258 bytes in all: rows of (258 - 54) / 2 = 102 bytes, of which 6 are pixels. The file size's
    // low byte is 2, a TGA image type, yet BMP is tried first.
    Bytes file = bmpHeader(258, 54, 2, 2, 24);
    file.raw({1, 2, 3, 4, 5, 6}).fill(96, 0xAA).raw({7, 8, 9, 10, 11, 12}).fill(96, 0xAA);
    ASSERT_EQ(file.size(), 258u);
    EXPECT_EQ(decodeToRgb(file), (std::vector<std::uint32_t>{0x090807, 0x0C0B0A, 0x030201, 0x060504}));
}

TEST(BmpCodec, AcceptsAShortLastRow) {
    Bytes file = bmpHeader(54 + 8 * 2, 54, 2, 2, 24);
    file.raw({1, 2, 3, 4, 5, 6, 0, 0}).raw({7, 8, 9, 10, 11, 12}); // the padding of the top row is missing
    EXPECT_EQ(decodeToRgb(file), (std::vector<std::uint32_t>{0x090807, 0x0C0B0A, 0x030201, 0x060504}));
}

TEST(BmpCodec, AFileSizeFieldFarBeyondTheFileIsNotAllocated) {
    // One row of nearly 4 GB by the header; the file holds 6 bytes of it.
    Bytes file = bmpHeader(0xFE001066, 54, 2, 1, 24);
    file.raw({1, 2, 3, 4, 5, 6});
    EXPECT_EQ(decodeToRgb(file), (std::vector<std::uint32_t>{0x030201, 0x060504}));
    // Even a last row shorter than the picture's row reads what there is.
    Bytes shortRow = bmpHeader(0xFE001066, 54, 2, 1, 24);
    shortRow.raw({1, 2, 3, 4});
    EXPECT_EQ(decodeToRgb(shortRow), (std::vector<std::uint32_t>{0x030201, 0x000004}));
}

TEST(BmpCodec, RefusesBrokenFilesWithTheirMessages) {
    Bytes endsEarly = bmpHeader(54 + 8 * 3, 54, 2, 3, 24);
    endsEarly.fill(16, 0x10);
    EXPECT_EQ(decodeError(endsEarly), "Zarvo error - Unexpected end of file");

    Bytes compressed = bmpHeader(54 + 4, 54, 1, 1, 24, 1);
    compressed.fill(4, 0);
    EXPECT_EQ(decodeError(compressed), "Zarvo - Unsupported file format");
}

TEST(BmpCodec, RefusesUntrustedHeaders) {
    auto message = [](Bytes file) { return decodeError(file.fill(64, 0)); };
    EXPECT_EQ(message(bmpHeader(118, 54, 2, 0, 24)),
              "Zarvo error - BMP height 0 is not supported (only bottom-up pictures are)");
    EXPECT_EQ(message(bmpHeader(118, 54, 2, -2, 24)),
              "Zarvo error - BMP height -2 is not supported (only bottom-up pictures are)");
    EXPECT_EQ(message(bmpHeader(118, 54, -2, 2, 24)), "Zarvo error - Picture has no pixels (-2 x 2)");
    EXPECT_EQ(message(bmpHeader(118, 54, 2, 2, 16)), "Zarvo error - BMP files with 16 bits per pixel are not supported");
    EXPECT_EQ(message(bmpHeader(118, 54, 2, 2, 32)), "Zarvo error - BMP files with 32 bits per pixel are not supported");
    EXPECT_EQ(message(bmpHeader(118, 54, 20, 2, 24)),
              "Zarvo error - BMP rows of 32 bytes are shorter than the picture's 60");
    EXPECT_EQ(message(bmpHeader(50, 54, 2, 2, 24)), "Zarvo error - BMP pixel data offset lies beyond the file size");
    EXPECT_EQ(message(bmpHeader(0xFFFFFFFF, 54, 0x7FFFFFFF, 0x7FFFFFFF, 24)),
              "Zarvo error - Picture of 2147483647 x 2147483647 pixels is too large");
    // The header promises 4000 rows of 12000 bytes; the file holds 64.
    EXPECT_EQ(message(bmpHeader(54 + 12000 * 4000, 54, 4000, 4000, 24)), "Zarvo error - Unexpected end of file");
}

TEST(BmpCodec, SaveThenLoadGivesTheSamePicture) {
    std::mt19937 random(5);
    for (bool indexed : {false, true}) {
        for (int width : {4, 3, 8, 5}) {
            const int height = 3;
            const ptc::Format& format = indexed ? formatIndexed() : formatBGR();
            ByteVector pixels(static_cast<std::size_t>(format.bytes()) * width * height);
            for (auto& byte : pixels)
                byte = random() & 0xFF;
            ptc::Palette palette;
            std::uint32_t colours[256];
            for (auto& colour : colours)
                colour = random() & 0xFFFFFF;
            palette.load(colours);

            auto* stream = new MemoryStream();
            auto bytes = stream->bytes();
            BmpCodec().save(stream, width, height, format, &palette, pixels.data(), nullptr); // deletes the stream

            // A standard file: rows padded to four bytes, sizes that agree with the contents.
            const std::size_t storedRow = (format.bytes() * width + 3) / 4 * 4;
            const std::size_t dataOffset = indexed ? 54 + 1024 : 54;
            EXPECT_EQ(bytes->size(), dataOffset + storedRow * height);
            Image image(streamOver(*bytes));
            EXPECT_EQ(image.format(), format);
            EXPECT_EQ(decodedBytes(image), pixels) << "width " << width << (indexed ? " indexed" : " 24-bit");
            if (indexed) {
                EXPECT_EQ(std::vector<std::uint32_t>(image.palette().data(), image.palette().data() + 256),
                          std::vector<std::uint32_t>(colours, colours + 256));
            }
        }
    }
}

TEST(BmpCodec, SavesTheHeaderFieldsOfAStandardFile) {
    std::uint8_t pixels[4 * 2 * 3] = {};
    auto* stream = new MemoryStream();
    auto bytes = stream->bytes();
    BmpCodec().save(stream, 4, 2, formatBGR(), nullptr, pixels, nullptr);
    Bytes expected = bmpHeader(54 + 24, 54, 4, 2, 24);
    ByteVector header(bytes->begin(), bytes->begin() + 54);
    ByteVector wanted = expected.bytes();
    // image size, pixels per metre and colour counts as this writer fills them
    wanted[34] = 24;
    for (int offset : {38, 42})
        wanted[offset] = 0x10, wanted[offset + 1] = 0x27;
    for (int offset : {46, 50})
        wanted[offset] = 0, wanted[offset + 1] = 0, wanted[offset + 2] = 0, wanted[offset + 3] = 1; // 1 << 24
    EXPECT_EQ(header, wanted);
}

TEST(BmpCodec, SaveRefusesWhatItCannotWrite) {
    std::uint8_t pixels[4] = {};
    int compressed = 1;
    MemoryStream stream;
    EXPECT_EQ(errorOf([&] { BmpCodec().save(&stream, 1, 1, formatBGR(), nullptr, pixels, &compressed); }),
              "Zarvo error - Cannot save compressed BMP files");
    EXPECT_EQ(errorOf([&] {
                  BmpCodec().save(&stream, 1, 1, ptc::Format(32, 0xFF0000, 0xFF00, 0xFF), nullptr, pixels, nullptr);
              }),
              "Zarvo error - BMP files are saved with 8 or 24 bits per pixel, not 32");
}
