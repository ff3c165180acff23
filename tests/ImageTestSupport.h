#pragma once
// Helpers shared by the image library's tests: byte builders for hand-made files, decoding from
// memory, a temporary directory, and exact error-message checks.

#include "image/Image.h"
#include "image/MemoryStream.h"
#include "platform/ptc/Error.h"
#include "platform/ptc/Surface.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace imagetest {

using ByteVector = std::vector<std::uint8_t>;

// Little-endian file contents, written field by field.
class Bytes {
public:
    Bytes& u8(unsigned value) {
        data.push_back(static_cast<std::uint8_t>(value));
        return *this;
    }
    Bytes& u16(unsigned value) { return u8(value & 0xFF).u8(value >> 8); }
    Bytes& u32(std::uint32_t value) { return u16(value & 0xFFFF).u16(value >> 16); }
    Bytes& text(const std::string& characters) {
        for (char c : characters)
            u8(static_cast<unsigned char>(c));
        return *this;
    }
    Bytes& fill(std::size_t count, unsigned value) {
        data.insert(data.end(), count, static_cast<std::uint8_t>(value));
        return *this;
    }
    Bytes& raw(std::initializer_list<unsigned> values) {
        for (unsigned v : values)
            u8(v);
        return *this;
    }
    std::size_t size() const { return data.size(); }
    operator const ByteVector&() const { return data; }
    const ByteVector& bytes() const { return data; }

private:
    ByteVector data;
};

inline MemoryStream* streamOver(const ByteVector& bytes) { return new MemoryStream(bytes.data(), bytes.size()); }

// The picture's pixels after conversion to 0x00RRGGBB, in memory order.
inline std::vector<std::uint32_t> converted(const Image& image) {
    ptc::Surface surface(image.width(), image.height(), ptc::Format(32, 0xFF0000, 0x00FF00, 0x0000FF));
    image.transfer(surface);
    const auto* pixels = static_cast<const std::uint32_t*>(surface.lock());
    std::vector<std::uint32_t> result(pixels, pixels + static_cast<std::size_t>(image.width()) * image.height());
    surface.unlock();
    return result;
}

inline std::vector<std::uint32_t> decodeToRgb(const ByteVector& bytes) {
    Image image(streamOver(bytes));
    return converted(image);
}

inline ByteVector decodedBytes(const Image& image) {
    return ByteVector(image.pixels(),
                      image.pixels() + static_cast<std::size_t>(image.format().bytes()) * image.width() *
                                           image.height());
}

// The message of the DynamicError `action` throws, or a note that it threw none.
inline std::string errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const ptc::DynamicError& error) {
        return error.what();
    }
    return "(no DynamicError)";
}

inline std::string decodeError(const ByteVector& bytes) {
    return errorOf([&] { Image image(streamOver(bytes)); });
}

// A fresh directory under the system's temporary directory, removed with its contents.
class TemporaryDirectory {
public:
    TemporaryDirectory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "velmora-image-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create a temporary directory");
        root = pattern;
    }
    ~TemporaryDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    std::string path(const std::string& name) const { return (root / name).string(); }
    std::string write(const std::string& name, const ByteVector& bytes) const {
        std::ofstream out(path(name), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path(name);
    }
    ByteVector read(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return ByteVector(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::filesystem::path root;
};

inline const ptc::Format& formatBGR() {
    static const ptc::Format format(24, 0xFF0000, 0x00FF00, 0x0000FF);
    return format;
}
inline const ptc::Format& formatRGB() {
    static const ptc::Format format(24, 0x0000FF, 0x00FF00, 0xFF0000);
    return format;
}
inline const ptc::Format& formatIndexed() {
    static const ptc::Format format(8);
    return format;
}

} // namespace imagetest
