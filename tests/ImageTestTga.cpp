#include "ImageTestSupport.h"

#include "image/TgaCodec.h"

#include <gtest/gtest.h>

#include <random>

using namespace imagetest;

namespace {

Bytes tgaHeader(unsigned idLength, unsigned colourMapType, unsigned imageType, unsigned mapLength, unsigned entryBits,
                unsigned width, unsigned height, unsigned depth, unsigned descriptor) {
    Bytes b;
    b.u8(idLength)          // image-ID length
        .u8(colourMapType)  // colour-map type
        .u8(imageType)      // image type
        .u16(0)             // first colour-map entry
        .u16(mapLength)     // colour-map length
        .u8(entryBits)      // colour-map entry size
        .u16(0)             // x origin
        .u16(0)             // y origin
        .u16(width)         // width
        .u16(height)        // height
        .u8(depth)          // pixel depth
        .u8(descriptor);    // image descriptor: bits 4..5 give the row order
    return b;
}

constexpr unsigned bottomUp = 0x00, topDown = 0x20;

} // namespace

TEST(TgaCodec, DecodesColourMappedBottomUpWithAnIdField) {
    Bytes file = tgaHeader(3, 1, 1, 3, 24, 2, 2, 8, bottomUp);
    file.text("abc")                                   // image ID
        .raw({0x11, 0x22, 0x33})                       // entry 0: blue, green, red
        .raw({0x44, 0x55, 0x66})                       // entry 1
        .raw({0x77, 0x88, 0x99})                       // entry 2
        .raw({0, 1})                                   // bottom row
        .raw({2, 0});                                  // top row
    Image image(streamOver(file));
    EXPECT_STREQ(image.codecName(), "TGA");
    EXPECT_TRUE(image.format().indexed());
    EXPECT_TRUE(image.hasPalette());
    EXPECT_EQ(decodedBytes(image), (ByteVector{2, 0, 0, 1}));
    EXPECT_EQ(converted(image), (std::vector<std::uint32_t>{0x998877, 0x332211, 0x332211, 0x665544}));
    EXPECT_EQ(image.palette().data()[3], 0u) << "entries past the map are black";
}

TEST(TgaCodec, DecodesFifteenAndSixteenBitFiveFiveFive) {
    for (unsigned depth : {15u, 16u}) {
        Bytes file = tgaHeader(0, 0, 2, 0, 0, 4, 1, depth, topDown);
        file.u16(0x7C00)  // red
            .u16(0x03E0)  // green
            .u16(0x801F)  // blue, with the unused top bit set
            .u16(0x4210); // 16 in every channel
        Image image(streamOver(file));
        EXPECT_EQ(image.format(), ptc::Format(16, 0x7C00, 0x03E0, 0x001F));
        EXPECT_EQ(converted(image), (std::vector<std::uint32_t>{0xFF0000, 0x00FF00, 0x0000FF, 0x848484}))
            << "depth " << depth;
    }
}

TEST(TgaCodec, DecodesTwentyFourBitRowsInEitherOrder) {
    Bytes bottomFirst = tgaHeader(0, 0, 2, 0, 0, 2, 2, 24, bottomUp);
    bottomFirst.raw({0x01, 0x02, 0x03, 0x04, 0x05, 0x06})  // r0: the bottom row
        .raw({0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C});        // r1: the top row
    EXPECT_EQ(decodeToRgb(bottomFirst), (std::vector<std::uint32_t>{0x090807, 0x0C0B0A, 0x030201, 0x060504}));

    Bytes topFirst = tgaHeader(0, 0, 2, 0, 0, 2, 2, 24, topDown);
    topFirst.raw({0x01, 0x02, 0x03, 0x04, 0x05, 0x06}).raw({0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C});
    EXPECT_EQ(decodeToRgb(topFirst), (std::vector<std::uint32_t>{0x030201, 0x060504, 0x090807, 0x0C0B0A}));
}

TEST(TgaCodec, DecodesThirtyTwoBitIgnoringTheFourthByte) {
    Bytes file = tgaHeader(0, 0, 2, 0, 0, 2, 1, 32, topDown);
    file.raw({0x10, 0x20, 0x30, 0xFF, 0x40, 0x50, 0x60, 0x80});
    Image image(streamOver(file));
    EXPECT_EQ(image.format(), ptc::Format(32, 0xFF0000, 0x00FF00, 0x0000FF));
    EXPECT_EQ(converted(image), (std::vector<std::uint32_t>{0x302010, 0x605040}));
}

TEST(TgaCodec, ReadsSixteenAndThirtyTwoBitColourMapEntriesByTheirOwnSize) {
    Bytes sixteen = tgaHeader(0, 1, 1, 2, 16, 2, 1, 8, topDown);
    sixteen.u16(0x7C00).u16(0x001F).raw({1, 0});
    EXPECT_EQ(decodeToRgb(sixteen), (std::vector<std::uint32_t>{0x0000FF, 0xFF0000}));

    Bytes thirtyTwo = tgaHeader(0, 1, 1, 2, 32, 2, 1, 8, topDown);
    thirtyTwo.raw({0x01, 0x02, 0x03, 0xFF, 0x04, 0x05, 0x06, 0xFF}).raw({1, 0});
    EXPECT_EQ(decodeToRgb(thirtyTwo), (std::vector<std::uint32_t>{0x060504, 0x030201}));
}

TEST(TgaCodec, RefusesBrokenFilesWithTheirMessages) {
    Bytes rightToLeft = tgaHeader(0, 0, 2, 0, 0, 1, 1, 24, 0x10);
    rightToLeft.raw({1, 2, 3});
    EXPECT_EQ(decodeError(rightToLeft), "Zarvo error - Unknown orientation");
    Bytes bothFlipped = tgaHeader(0, 0, 2, 0, 0, 1, 1, 24, 0x30);
    bothFlipped.raw({1, 2, 3});
    EXPECT_EQ(decodeError(bothFlipped), "Zarvo error - Unknown orientation");

    Bytes oneByteShort = tgaHeader(0, 0, 2, 0, 0, 2, 2, 24, bottomUp);
    oneByteShort.fill(11, 0x55);
    EXPECT_EQ(decodeError(oneByteShort), "Zarvo error - Unexpected end of file");

    Bytes mapCutShort = tgaHeader(0, 1, 1, 200, 24, 1, 1, 8, topDown);
    mapCutShort.fill(30, 0);
    EXPECT_EQ(decodeError(mapCutShort), "Zarvo error - Unexpected end of file");

    Bytes runLength = tgaHeader(0, 0, 10, 0, 0, 1, 1, 24, topDown);
    runLength.raw({1, 2, 3});
    EXPECT_EQ(decodeError(runLength), "Zarvo - Unsupported file format");

    Bytes longMap = tgaHeader(0, 1, 1, 257, 24, 1, 1, 8, topDown);
    longMap.fill(257 * 3 + 1, 0);
    EXPECT_EQ(decodeError(longMap), "Zarvo error - The TGA picture could not be decoded");
}

TEST(TgaCodec, RefusesUntrustedHeaders) {
    auto message = [](Bytes file) { return decodeError(file.fill(64, 0)); };
    EXPECT_EQ(message(tgaHeader(0, 0, 2, 0, 0, 2, 2, 12, topDown)),
              "Zarvo error - TGA files with 12 bits per pixel are not supported");
    EXPECT_EQ(message(tgaHeader(0, 0, 2, 0, 0, 0, 5, 24, topDown)), "Zarvo error - Picture has no pixels (0 x 5)");
    EXPECT_EQ(message(tgaHeader(0, 0, 2, 0, 0, 65535, 65535, 32, topDown)),
              "Zarvo error - Picture of 65535 x 65535 pixels is too large");
    // 16 M pixels promised by an 82-byte file: refused before the buffer is allocated.
    EXPECT_EQ(message(tgaHeader(0, 0, 2, 0, 0, 4096, 4096, 32, topDown)), "Zarvo error - Unexpected end of file");
    EXPECT_EQ(message(tgaHeader(0, 1, 1, 2, 8, 1, 1, 8, topDown)),
              "Zarvo error - TGA colour maps with 8-bit entries are not supported");
}

TEST(TgaCodec, SaveThenLoadGivesTheSamePictureForEveryDepth) {
    std::mt19937 random(11);
    const ptc::Format formats[] = {formatIndexed(), ptc::Format(16, 0x7C00, 0x03E0, 0x001F), formatBGR(),
                                   ptc::Format(32, 0xFF0000, 0x00FF00, 0x0000FF)};
    for (const ptc::Format& format : formats) {
        const int width = 3, height = 2;
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
        TgaCodec().save(stream, width, height, format, &palette, pixels.data(), nullptr); // deletes the stream

        ASSERT_GE(bytes->size(), 18u);
        EXPECT_EQ((*bytes)[0], 0);           // no image ID
        EXPECT_EQ((*bytes)[17], 0x20);       // top-down
        Image image(streamOver(*bytes));
        EXPECT_EQ(image.format(), format);
        EXPECT_EQ(decodedBytes(image), pixels) << format.bits() << " bits";
        EXPECT_EQ(image.hasPalette(), format.indexed());
        if (format.indexed()) {
            EXPECT_EQ(std::vector<std::uint32_t>(image.palette().data(), image.palette().data() + 256),
                      std::vector<std::uint32_t>(colours, colours + 256));
        }
    }
}

TEST(TgaCodec, SaveRefusesCompression) {
    std::uint8_t pixels[3] = {};
    int compressed = 1;
    MemoryStream stream;
    EXPECT_EQ(errorOf([&] { TgaCodec().save(&stream, 1, 1, formatBGR(), nullptr, pixels, &compressed); }),
              "Zarvo error - Cannot save compressed TGA files");
}
