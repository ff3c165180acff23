#include "ImageTestSupport.h"

#include "image/BmpCodec.h"
#include "image/PcxCodec.h"
#include "image/TgaCodec.h"
#include "image/FileStream.h"
#include "image/PictureLoading.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <string>

using namespace imagetest;

namespace {

// A 2 x 1 24-bit BMP, pixels 0x123456 and 0xABCDEF.
ByteVector twoPixelBmp() {
    Bytes b;
    b.text("BM").u32(62).u32(0).u32(54).u32(40).u32(2).u32(1).u16(1).u16(24).u32(0).u32(8).u32(0).u32(0).u32(0).u32(0);
    b.raw({0x56, 0x34, 0x12, 0xEF, 0xCD, 0xAB, 0, 0});
    return b;
}

const ptc::Format& surfaceFormat() {
    static const ptc::Format format(32, 0xFF0000, 0x00FF00, 0x0000FF);
    return format;
}

std::vector<std::uint32_t> surfaceLoad(const ByteVector& source, int width, int height, int pitch,
                                       const ptc::Format& format, const ptc::Palette& palette = ptc::Palette()) {
    ptc::Surface surface(width, height, surfaceFormat());
    surface.load(source.data(), width, height, pitch, format, palette);
    const auto* pixels = static_cast<const std::uint32_t*>(surface.lock());
    return std::vector<std::uint32_t>(pixels, pixels + width * height);
}

} // namespace

TEST(SurfaceLoad, ConvertsIndexedPixelsThroughThePalette) {
    ptc::Palette palette;
    std::uint32_t colours[256] = {};
    colours[0] = 0x102030;
    colours[7] = 0xFFEEDD;
    colours[255] = 0x0A0B0C;
    palette.load(colours);
    EXPECT_EQ(surfaceLoad({7, 0, 255, 7}, 2, 2, 2, formatIndexed(), palette),
              (std::vector<std::uint32_t>{0xFFEEDD, 0x102030, 0x0A0B0C, 0xFFEEDD}));
}

TEST(SurfaceLoad, WidensFiveBitChannelsByRepeatingTheirTopBits) {
    ByteVector words = Bytes().u16(0x7FFF).u16(0x0000).u16(0x4210).u16(0x0421).u16(0x7C00).u16(0x83E0);
    EXPECT_EQ(surfaceLoad(words, 6, 1, 12, ptc::Format(16, 0x7C00, 0x03E0, 0x001F)),
              (std::vector<std::uint32_t>{0xFFFFFF, 0x000000, 0x848484, 0x080808, 0xFF0000, 0x00FF00}));
    // Six bits of green in a 5-6-5 word.
    EXPECT_EQ(surfaceLoad(Bytes().u16(0x07E0).u16(0x0020), 2, 1, 4, ptc::Format(16, 0xF800, 0x07E0, 0x001F)),
              (std::vector<std::uint32_t>{0x00FF00, 0x000400}));
}

TEST(SurfaceLoad, ConvertsTwentyFourBitPixelsInEitherByteOrder) {
    ByteVector bytes{0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
    EXPECT_EQ(surfaceLoad(bytes, 2, 1, 6, formatBGR()), (std::vector<std::uint32_t>{0x332211, 0x665544}));
    EXPECT_EQ(surfaceLoad(bytes, 2, 1, 6, formatRGB()), (std::vector<std::uint32_t>{0x112233, 0x445566}));
}

TEST(SurfaceLoad, ClearsTheTopByteOfThirtyTwoBitPixels) {
    ByteVector bytes = Bytes().u32(0xFF123456).u32(0x80ABCDEF);
    EXPECT_EQ(surfaceLoad(bytes, 2, 1, 8, ptc::Format(32, 0xFF0000, 0x00FF00, 0x0000FF)),
              (std::vector<std::uint32_t>{0x123456, 0xABCDEF}));
}

TEST(SurfaceLoad, SkipsTheSourcePitchPadding) {
    ByteVector bytes{1, 2, 3, 0xEE, 4, 5, 6, 0xEE};
    EXPECT_EQ(surfaceLoad(bytes, 1, 2, 4, formatBGR()), (std::vector<std::uint32_t>{0x030201, 0x060504}));
}

TEST(SurfaceLoad, RefusesASourceOfAnotherSize) {
    ptc::Surface surface(2, 2, surfaceFormat());
    std::uint8_t pixels[12] = {};
    EXPECT_THROW(surface.load(pixels, 1, 2, 3, formatBGR(), ptc::Palette()), ptc::DynamicError);
    EXPECT_THROW(ptc::Surface(2, 2, formatBGR()), ptc::DynamicError);
}

TEST(Surface, KeepsItsPixelAddressAcrossLocks) {
    ptc::Surface surface(4, 3, surfaceFormat());
    void* first = surface.lock();
    surface.unlock();
    EXPECT_EQ(surface.lock(), first);
    surface.unlock();
    EXPECT_EQ(surface.pitch(), 16);
}

TEST(PictureLoading, TheCannotOpenMessageCarriesTheWholeName) {
    EXPECT_EQ(errorOf([] { loadBitmap("Data/x1.jpg"); }), "Zarvo error - Cannot open file, Data/x1.jpg");
    std::string longName = "missing/" + std::string(300, 'n') + ".jpg";
    EXPECT_EQ(errorOf([&] { loadByteMap(longName.c_str()); }), "Zarvo error - Cannot open file, " + longName);
}

// A file that is there but cannot be opened says why; a missing one keeps the message above.
TEST(PictureLoading, APictureThatCannotBeOpenedAddsTheSystemsReason) {
    TemporaryDirectory directory;
    std::string loop = directory.path("loop.jpg");
    std::filesystem::create_symlink("loop.jpg", loop);
    EXPECT_EQ(errorOf([&] { loadBitmap(loop.c_str()); }),
              "Zarvo error - Cannot open file, " + loop + ": Too many levels of symbolic links");
    // Permissions hold for every user but the superuser.
    if (geteuid() != 0) {
        std::string locked = directory.path("locked.jpg");
        std::ofstream(locked) << "x";
        std::filesystem::permissions(locked, std::filesystem::perms::none);
        EXPECT_EQ(errorOf([&] { loadByteMap(locked.c_str()); }),
                  "Zarvo error - Cannot open file, " + locked + ": Permission denied");
    }
    std::string dangling = directory.path("dangling.jpg");
    std::filesystem::create_symlink("nowhere.jpg", dangling);
    EXPECT_EQ(errorOf([&] { loadBitmap(dangling.c_str()); }), "Zarvo error - Cannot open file, " + dangling);
}

TEST(PictureLoading, UnrecognisedContentsAreRefused) {
    EXPECT_EQ(decodeError({}), "Zarvo - Unsupported file format");
    EXPECT_EQ(decodeError(Bytes().text("BM").fill(28, 0).u8(3).fill(40, 0)), "Zarvo - Unsupported file format");
    EXPECT_EQ(decodeError(Bytes().text("not a picture at all")), "Zarvo - Unsupported file format");
}

TEST(PictureLoading, LoadBitmapAndLoadByteMapTakeTheSamePixels) {
    TemporaryDirectory directory;
    const std::string name = directory.write("two.tga", twoPixelBmp()); // a BMP whatever its name
    std::unique_ptr<Bitmap> first(loadBitmap(name.c_str()));
    std::unique_ptr<Bitmap> second(loadBitmap(name.c_str()));
    ASSERT_EQ(first->width, 2);
    ASSERT_EQ(first->height, 1);
    EXPECT_EQ(first->pixels[0], 0x123456u);
    EXPECT_EQ(first->pixels[1], 0xABCDEFu);
    EXPECT_NE(first->pixels, second->pixels) << "each call has its own surface";
    first->pixels[0] = 0;
    EXPECT_EQ(second->pixels[0], 0x123456u);

    ByteMap* blue = loadByteMap(name.c_str());
    EXPECT_EQ(blue[0], 0x56);
    EXPECT_EQ(blue[1], 0xEF);
    delete[] blue;
}

TEST(FileStream, ReadsWritesSeeksAndReportsItsSize) {
    TemporaryDirectory directory;
    const std::string name = directory.path("stream.bin");
    {
        FileStream out(name.c_str(), 4);
        ASSERT_FALSE(out.failed());
        EXPECT_EQ(out.write("abcdef", 6), 6);
        EXPECT_EQ(out.seek(-2, 2), 4);
        EXPECT_EQ(out.size(), 6);
        EXPECT_EQ(out.tell(), 4);
    }
    FileStream in(name.c_str(), 1);
    char buffer[8] = {};
    EXPECT_EQ(in.write("x", 1), -1) << "opened for reading only";
    EXPECT_EQ(in.seek(2, 0), 2);
    EXPECT_EQ(in.read(buffer, 8), 4);
    EXPECT_STREQ(buffer, "cdef");
    EXPECT_EQ(in.atEnd(), 1);
    EXPECT_EQ(in.close(), 1);
    EXPECT_EQ(in.close(), 0);
    EXPECT_EQ(in.read(buffer, 1), -1);
    EXPECT_EQ(FileStream(directory.path("absent").c_str(), 1).failed(), 1);
}

TEST(MemoryStream, KeepsItsBytesAfterTheStreamIsGone) {
    auto* stream = new MemoryStream();
    auto bytes = stream->bytes();
    EXPECT_EQ(stream->write("abc", 3), 3);
    EXPECT_EQ(stream->seek(1, 0), 1);
    EXPECT_EQ(stream->write("Z", 1), 1);
    EXPECT_EQ(stream->seek(-1, 0), -1);
    delete stream;
    EXPECT_EQ(std::string(bytes->begin(), bytes->end()), "aZc");
}

TEST(ImageCodec, LoadingWithoutAPixelBufferIsRefused) {
    ByteVector pcx = Bytes().u8(10).u8(5).u8(1).u8(8).u16(0).u16(0).u16(0).u16(0).fill(53, 0).u8(3).u16(2).fill(60, 0)
                         .raw({1, 2, 3, 4, 5, 6});
    ByteVector tga = Bytes().u8(0).u8(0).u8(2).fill(9, 0).u16(1).u16(1).u8(24).u8(0x20).raw({1, 2, 3});
    ByteVector bmp = twoPixelBmp();
    MemoryStream pcxStream(pcx.data(), pcx.size()), tgaStream(tga.data(), tga.size()), bmpStream(bmp.data(), bmp.size());
    PcxCodec pcxCodec(&pcxStream);
    TgaCodec tgaCodec(&tgaStream);
    BmpCodec bmpCodec(&bmpStream);
    for (ImageCodec* codec : {static_cast<ImageCodec*>(&pcxCodec), static_cast<ImageCodec*>(&tgaCodec),
                              static_cast<ImageCodec*>(&bmpCodec)}) {
        ASSERT_EQ(codec->isValid(), 1);
        EXPECT_EQ(errorOf([&] { codec->load(nullptr, nullptr); }), "Zarvo error - no pixels to load image onto");
    }
}
