#include "ImageTestSupport.h"

#include "image/FileStream.h"
#include "image/PcxCodec.h"
#include "image/PictureLoading.h"

#include <gtest/gtest.h>

#include <random>

using namespace imagetest;

namespace {

Bytes pcxHeader(unsigned xMin, unsigned yMin, unsigned xMax, unsigned yMax, unsigned planes, unsigned bytesPerLine) {
    Bytes b;
    b.u8(10)            // manufacturer
        .u8(5)          // version
        .u8(1)          // encoding: run-length
        .u8(8)          // bits per pixel per plane
        .u16(xMin)      // xMin
        .u16(yMin)      // yMin
        .u16(xMax)      // xMax
        .u16(yMax)      // yMax
        .u16(72)        // horizontal resolution
        .u16(72)        // vertical resolution
        .fill(48, 0)    // 16-colour palette
        .u8(0)          // reserved
        .u8(planes)     // planes
        .u16(bytesPerLine) // bytes per line, per plane
        .u16(1)         // palette info
        .u16(0)         // horizontal screen size
        .u16(0)         // vertical screen size
        .fill(54, 0);   // filler
    return b;
}

std::uint32_t paletteColour(unsigned k) { return (k * 0x010305u + 0x102030u) & 0xFFFFFF; }

Bytes& paletteTrailer(Bytes& b, unsigned marker = 12) {
    b.u8(marker);
    for (unsigned k = 0; k < 256; ++k) {
        std::uint32_t c = paletteColour(k);
        b.u8(c >> 16).u8((c >> 8) & 0xFF).u8(c & 0xFF);
    }
    return b;
}

ByteVector encoded(std::initializer_list<unsigned> line) {
    std::vector<std::uint8_t> bytes(line.begin(), line.end()), out;
    PcxCodec::encodeLine(bytes.data(), static_cast<int>(bytes.size()), out);
    return out;
}

} // namespace

TEST(PcxCodec, EncodesRunsAndEscapesHighLiterals) {
    EXPECT_EQ(encoded({0xAA, 0xAA, 0xAA, 0x05}), (ByteVector{0xC3, 0xAA, 0x05}));
    EXPECT_EQ(encoded({0xC5}), (ByteVector{0xC1, 0xC5}));
    EXPECT_EQ(encoded({0xC0}), (ByteVector{0xC1, 0xC0}));
    EXPECT_EQ(encoded({0xBF, 0x01}), (ByteVector{0xBF, 0x01}));
    std::vector<std::uint8_t> hundred(100, 0x07), out;
    PcxCodec::encodeLine(hundred.data(), 100, out);
    EXPECT_EQ(out, (ByteVector{0xFF, 0x07, 0xE5, 0x07}));
    // Exactly 63 equal bytes: one full run and nothing pending.
    std::vector<std::uint8_t> sixtyThree(63, 0x09);
    out.clear();
    PcxCodec::encodeLine(sixtyThree.data(), 63, out);
    EXPECT_EQ(out, (ByteVector{0xFF, 0x09}));
}

TEST(PcxCodec, DecodesEightBitRunsLiteralsAndPalette) {
    Bytes file = pcxHeader(0, 0, 2, 2, 1, 4); // 3 x 3, rows padded to 4 bytes
    file.raw({0x01, 0xC2, 0x02, 0x00})        // row 0: 01, run of two 02, padding
        .raw({0xC0, 0xC5, 0x05})              // row 1: literal C0, a run of 5 cut at the line's end
        .raw({0x07, 0x08, 0x09, 0x00});       // row 2 starts afresh
    paletteTrailer(file);

    Image image(streamOver(file));
    EXPECT_STREQ(image.codecName(), "PCX");
    EXPECT_TRUE(image.format().indexed());
    EXPECT_TRUE(image.hasPalette());
    EXPECT_EQ(decodedBytes(image), (ByteVector{1, 2, 2, 0xC0, 5, 5, 7, 8, 9}));
    std::vector<std::uint32_t> expected;
    for (unsigned index : {1, 2, 2, 0xC0, 5, 5, 7, 8, 9})
        expected.push_back(paletteColour(index));
    EXPECT_EQ(converted(image), expected);
}

TEST(PcxCodec, DecodesThreePlanesOfOddWidthFromEachPlaneStart) {
    Bytes file = pcxHeader(10, 20, 12, 20, 3, 4); // 3 x 1 at an offset origin
    file.raw({0x10, 0x20, 0x30, 0x0E})            // red plane, then its padding byte
        .raw({0x40, 0x50, 0x60, 0x0E})            // green plane
        .raw({0x70, 0xC2, 0x80, 0x0E});           // blue plane: 70, a run of two 80
    Image image(streamOver(file));
    EXPECT_EQ(image.format(), formatBGR());
    EXPECT_FALSE(image.hasPalette());
    EXPECT_EQ(decodedBytes(image), (ByteVector{0x70, 0x40, 0x10, 0x80, 0x50, 0x20, 0x80, 0x60, 0x30}));
    EXPECT_EQ(converted(image), (std::vector<std::uint32_t>{0x104070, 0x205080, 0x306080}));
}

TEST(PcxCodec, RefusesBrokenFilesWithTheirMessages) {
    Bytes wrongMarker = pcxHeader(0, 0, 0, 0, 1, 2);
    wrongMarker.raw({0x01, 0x00});
    paletteTrailer(wrongMarker, 11);
    EXPECT_EQ(decodeError(wrongMarker), "Zarvo error - no palette in 8-bit .PCX file");

    Bytes noTrailer = pcxHeader(0, 0, 0, 0, 1, 2);
    noTrailer.raw({0x01, 0x00});
    EXPECT_EQ(decodeError(noTrailer), "Zarvo error - no palette in 8-bit .PCX file");

    Bytes stopsInRow = pcxHeader(0, 0, 1, 1, 3, 2); // 2 x 2, 12 decoded bytes
    stopsInRow.raw({1, 2, 3, 4, 5});
    EXPECT_EQ(decodeError(stopsInRow), "Zarvo error - Unexpected end of file");

    Bytes stopsInRun = pcxHeader(0, 0, 1, 0, 3, 2);
    stopsInRun.raw({1, 2, 3, 4, 5, 0xC1});          // the run's value is missing
    EXPECT_EQ(decodeError(stopsInRun), "Zarvo error - Unexpected end of file");
}

TEST(PcxCodec, RefusesUntrustedHeaders) {
    auto message = [](Bytes file) { return decodeError(file.fill(2000, 0)); };
    EXPECT_EQ(message(pcxHeader(5, 0, 4, 0, 3, 2)).rfind("Zarvo error - PCX picture has no pixels", 0), 0u);
    EXPECT_EQ(message(pcxHeader(0, 3, 0, 2, 3, 2)).rfind("Zarvo error - PCX picture has no pixels", 0), 0u);
    EXPECT_EQ(message(pcxHeader(0, 0, 9, 0, 3, 8)),
              "Zarvo error - PCX bytes per line (8) shorter than the width (10)");
    EXPECT_EQ(message(pcxHeader(0, 0, 1, 0, 2, 2)), "Zarvo error - PCX files with 2 planes are not supported");
    EXPECT_EQ(message(pcxHeader(0, 0, 1, 0, 4, 2)), "Zarvo error - PCX files with 4 planes are not supported");
    // 65536 x 65536 pixels: refused by the pixel limit before anything is allocated.
    EXPECT_EQ(message(pcxHeader(0, 0, 65535, 65535, 1, 65535)),
              "Zarvo error - Picture of 65536 x 65536 pixels is too large");
    // Two thousand bytes cannot hold 4096 lines of 3 x 4096 bytes, whatever their runs.
    EXPECT_EQ(message(pcxHeader(0, 0, 4095, 4095, 3, 4096)),
              "Zarvo error - Unexpected end of file");
}

TEST(PcxCodec, LongRunsOfAValidFileAreNotMistakenForAShortFile) {
    // 126 x 1, one plane: two runs of 63 need only 4 bytes.
    Bytes file = pcxHeader(0, 0, 125, 0, 1, 126);
    file.raw({0xFF, 0x03, 0xFF, 0x04});
    paletteTrailer(file);
    Image image(streamOver(file));
    ByteVector expected(63, 3);
    expected.insert(expected.end(), 63, 4);
    EXPECT_EQ(decodedBytes(image), expected);
}

TEST(PcxCodec, SaveThenLoadGivesTheSamePicture) {
    std::mt19937 random(7);
    for (int width : {1, 4, 5}) {
        for (bool indexed : {true, false}) {
            const int height = 3;
            const ptc::Format& format = indexed ? formatIndexed() : formatBGR();
            ByteVector pixels(static_cast<std::size_t>(format.bytes()) * width * height);
            for (auto& byte : pixels)
                byte = random() % 4 == 0 ? 0xC7 : random() & 0xFF; // runs and bytes that need escaping
            ptc::Palette palette;
            std::uint32_t colours[256];
            for (unsigned k = 0; k < 256; ++k)
                colours[k] = paletteColour(255 - k);
            palette.load(colours);

            MemoryStream* stream = new MemoryStream();
            auto bytes = stream->bytes();
            PcxCodec().save(stream, width, height, format, &palette, pixels.data(), nullptr);
            EXPECT_EQ(stream->read(colours, 1), -1) << "the saver closes the stream";
            delete stream;

            ASSERT_GE(bytes->size(), 128u);
            EXPECT_EQ((*bytes)[65], indexed ? 1 : 3);                     // planes
            EXPECT_EQ((*bytes)[66], (width + 1) & ~1);                    // bytes per line, even
            EXPECT_EQ((*bytes)[8], width - 1);                            // xMax
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

TEST(PcxCodec, SaveRefusesWhatItCannotWrite) {
    std::uint8_t pixels[12] = {};
    ptc::Palette palette;
    MemoryStream stream;
    int compressed = 1;
    EXPECT_EQ(errorOf([&] { PcxCodec().save(&stream, 2, 2, formatBGR(), nullptr, pixels, &compressed); }),
              "Zarvo error - Cannot save compressed .PCX files");
    EXPECT_EQ(errorOf([&] {
                  PcxCodec().save(&stream, 2, 2, ptc::Format(16, 0x7C00, 0x3E0, 0x1F), nullptr, pixels, nullptr);
              }),
              "Zarvo error,  You can only save 8bit and 24bit .PCX files");
    EXPECT_EQ(errorOf([&] { PcxCodec().save(&stream, 65536, 1, formatBGR(), nullptr, pixels, nullptr); }),
              "Zarvo error - Cannot save a .PCX file of 65536 x 1 pixels");
    EXPECT_EQ(stream.size(), 0);
}

TEST(PcxCodec, SavesIntoAFileThatLoadBitmapReads) {
    TemporaryDirectory directory;
    const std::string name = directory.path("picture.jpg"); // the name's extension plays no part
    std::uint8_t pixels[4] = {3, 0, 255, 3};
    ptc::Palette palette;
    std::uint32_t colours[256];
    for (unsigned k = 0; k < 256; ++k)
        colours[k] = paletteColour(k);
    palette.load(colours);
    auto* file = new FileStream(name.c_str(), 4);
    ASSERT_FALSE(file->failed());
    PcxCodec().save(file, 2, 2, formatIndexed(), &palette, pixels, nullptr);
    delete file;

    std::unique_ptr<Bitmap> bitmap(loadBitmap(name.c_str()));
    EXPECT_EQ(bitmap->width, 2);
    EXPECT_EQ(bitmap->height, 2);
    EXPECT_EQ(bitmap->reserved, -1);
    EXPECT_EQ(std::vector<std::uint32_t>(bitmap->pixels, bitmap->pixels + 4),
              (std::vector<std::uint32_t>{paletteColour(3), paletteColour(0), paletteColour(255), paletteColour(3)}));
}
