#include "capture/WavWriter.h"

#include "platform/ptc/Error.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr std::size_t headerBytes = 44;
// A RIFF size field holds 32 bits; longer audio keeps the largest size it can state.
constexpr std::uint64_t largestDataBytes = 0xFFFFFFD0u;

void put16(std::uint8_t*& at, std::uint32_t value) {
    *at++ = value & 0xFF;
    *at++ = (value >> 8) & 0xFF;
}

void put32(std::uint8_t*& at, std::uint32_t value) {
    put16(at, value & 0xFFFF);
    put16(at, value >> 16);
}

} // namespace

WavWriter::WavWriter(const std::string& path, int sampleRate) : filePath(path), rate(sampleRate) {
    file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (file == -1)
        throw ptc::DynamicError("cannot create " + path + ": " + std::strerror(errno));
    writeHeader();
}

WavWriter::~WavWriter() {
    if (file != -1)
        close(file);
}

void WavWriter::writeAt(const std::uint8_t* bytes, std::size_t size, long offset) {
    while (size > 0) {
        ssize_t written = pwrite(file, bytes, size, offset);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            throw ptc::DynamicError("cannot write " + filePath + ": " +
                                    std::strerror(written < 0 ? errno : ENOSPC));
        bytes += written;
        size -= std::size_t(written);
        offset += long(written);
    }
}

void WavWriter::writeHeader() {
    std::uint32_t bytes = static_cast<std::uint32_t>(std::min(dataBytes, largestDataBytes));
    std::uint8_t header[headerBytes];
    std::uint8_t* at = header;
    std::memcpy(at, "RIFF", 4);
    at += 4;
    put32(at, 36 + bytes);
    std::memcpy(at, "WAVEfmt ", 8);
    at += 8;
    put32(at, 16);                          // format chunk size
    put16(at, 1);                           // PCM
    put16(at, 2);                           // channels
    put32(at, static_cast<std::uint32_t>(rate));
    put32(at, static_cast<std::uint32_t>(rate) * 4); // bytes per second
    put16(at, 4);                           // bytes per frame
    put16(at, 16);                          // bits per sample
    std::memcpy(at, "data", 4);
    at += 4;
    put32(at, bytes);
    writeAt(header, sizeof header, 0);
}

void WavWriter::append(const std::int16_t* samples, std::size_t count) {
    if (count == 0)
        return;
    if (file == -1)
        throw ptc::DynamicError("cannot write " + filePath + ": already closed");
    std::vector<std::uint8_t> bytes(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint16_t value = static_cast<std::uint16_t>(samples[i]);
        bytes[2 * i] = value & 0xFF;
        bytes[2 * i + 1] = value >> 8;
    }
    writeAt(bytes.data(), bytes.size(), long(headerBytes + dataBytes));
    dataBytes += bytes.size();
    writeHeader();
}

void WavWriter::finish() {
    if (file == -1)
        return;
    bool closed = close(file) == 0;
    file = -1;
    if (!closed)
        throw ptc::DynamicError("cannot write " + filePath + ": " + std::strerror(errno));
}
