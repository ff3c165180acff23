#include "image/ImageCodec.h"

#include "platform/ptc/Error.h"

namespace {
std::size_t largestPicture = std::size_t{64} << 20;
} // namespace

std::size_t ImageCodec::pixelLimit() { return largestPicture; }

void ImageCodec::setPixelLimit(std::size_t pixels) { largestPicture = pixels; }

void ImageCodec::fail(const std::string& problem) { throw ptc::DynamicError("Zarvo error - " + problem); }

void ImageCodec::checkDimensions(long long width, long long height) {
    if (width <= 0 || height <= 0)
        fail("Picture has no pixels (" + std::to_string(width) + " x " + std::to_string(height) + ")");
    if (static_cast<unsigned long long>(width) * static_cast<unsigned long long>(height) > largestPicture)
        fail("Picture of " + std::to_string(width) + " x " + std::to_string(height) +
             " pixels is too large");
}

int ImageCodec::getInfo(int& outWidth, int& outHeight, ptc::Format& outFormat, int& outHasPalette) {
    checkHeader();
    outWidth = width;
    outHeight = height;
    outFormat = format;
    outHasPalette = hasPalette;
    return 1;
}
