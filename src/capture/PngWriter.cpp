#include "capture/PngWriter.h"

#include "platform/ptc/Error.h"
#include "capture/UnfinishedWork.h"

#include <png.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

namespace ptc {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// libpng reports errors through longjmp by default; turn them into exceptions instead, which
// is safe because nothing between the library's frames and ours needs unwinding.
[[noreturn]] void throwPngError(png_structp, png_const_charp message) {
    throw DynamicError(std::string("PNG writer: ") + message);
}

void ignorePngWarning(png_structp, png_const_charp) {}

// A regular file we began is removed when it cannot be finished; a device or pipe is left alone.
bool isRegularFile(std::FILE* file) {
    struct stat status {};
    return fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode);
}

void writePngFile(std::FILE* output, const std::uint32_t* pixels, int width, int height) {
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, throwPngError, ignorePngWarning);
    if (!png)
        throw DynamicError("PNG writer: out of memory");
    png_infop info = png_create_info_struct(png);
    struct Cleanup {
        png_structp& png;
        png_infop& info;
        ~Cleanup() { png_destroy_write_struct(&png, &info); }
    } cleanup{png, info};
    if (!info)
        throw DynamicError("PNG writer: out of memory");

    png_init_io(png, output);
    // Frames go out often (one per frame of a recording): fast compression is enough.
    png_set_compression_level(png, 1);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);

    std::vector<png_byte> row(static_cast<std::size_t>(width) * 3);
    for (int y = 0; y < height; ++y) {
        const std::uint32_t* source = pixels + static_cast<std::size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            row[x * 3 + 0] = static_cast<png_byte>(source[x] >> 16);
            row[x * 3 + 1] = static_cast<png_byte>(source[x] >> 8);
            row[x * 3 + 2] = static_cast<png_byte>(source[x]);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
}

} // namespace

void writePng(const std::string& path, const std::uint32_t* pixels, int width, int height) {
    if (width <= 0 || height <= 0)
        throw DynamicError("cannot write an empty picture to " + path);
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file)
        throw DynamicError("cannot write " + path + ": " + std::strerror(errno));
    bool removable = isRegularFile(file.get());
    std::unique_ptr<UnfinishedFile> unfinished = removable ? std::make_unique<UnfinishedFile>(path) : nullptr;
    std::string failure;
    try {
        errno = 0;
        writePngFile(file.get(), pixels, width, height);
    } catch (const DynamicError& error) {
        // libpng's own words ("Write Error") say neither which file nor why.
        failure = std::string(error.what()) + " in " + path;
        if (errno != 0)
            failure += std::string(" (") + std::strerror(errno) + ")";
    }
    if (failure.empty()) {
        std::FILE* done = file.release();
        if (std::fclose(done) != 0)
            failure = "cannot finish " + path + ": " + std::strerror(errno);
    }
    if (!failure.empty()) {
        file.reset();
        if (removable)
            std::remove(path.c_str());
        throw DynamicError(failure);
    }
}

FrameSink pngFileSink(const std::string& directory, long firstNumber) {
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error)
        throw DynamicError("cannot create the directory " + directory + ": " + error.message());
    auto next = std::make_shared<long>(firstNumber);
    return [directory, next](const std::uint32_t* pixels, int width, int height) {
        char name[32];
        std::snprintf(name, sizeof name, "frame%06ld.png", (*next)++);
        writePng((std::filesystem::path(directory) / name).string(), pixels, width, height);
    };
}

} // namespace ptc
