#include "image/PictureLoading.h"

#include "image/Image.h"
#include "platform/ptc/Surface.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace {

const ptc::Format& trueColour() {
    static const ptc::Format format(32, 0xFF0000, 0x00FF00, 0x0000FF, 0);
    return format;
}

// The surfaces that hold loaded Bitmaps' pixels, kept (and reachable) until the process ends.
void keep(std::unique_ptr<ptc::Surface> surface) {
    static auto* kept = new std::vector<std::unique_ptr<ptc::Surface>>();
    kept->push_back(std::move(surface));
}

} // namespace

Bitmap* loadBitmap(const char* fileName) {
    auto result = std::make_unique<Bitmap>();
    Image image(fileName);
    // The surface outlives this call on purpose: the Bitmap points into its memory.
    auto surface = std::make_unique<ptc::Surface>(image.width(), image.height(), trueColour());
    image.transfer(*surface);
    result->width = image.width();
    result->height = image.height();
    result->pixels = static_cast<std::uint32_t*>(surface->lock());
    surface->unlock();
    keep(std::move(surface));
    return result.release();
}

ByteMap* loadByteMap(const char* fileName) {
    int width = 0;
    int height = 0;
    return loadByteMap(fileName, width, height);
}

ByteMap* loadByteMap(const char* fileName, int& width, int& height) {
    Image image(fileName);
    width = image.width();
    height = image.height();
    const std::size_t count = static_cast<std::size_t>(image.width()) * static_cast<std::size_t>(image.height());
    auto result = std::make_unique<ByteMap[]>(count);
    ptc::Surface surface(image.width(), image.height(), trueColour());
    image.transfer(surface);
    const auto* pixels = static_cast<const std::uint32_t*>(surface.lock());
    for (std::size_t i = 0; i < count; ++i)
        result[i] = static_cast<ByteMap>(pixels[i] & 0xFF);
    surface.unlock();
    return result.release();
}
