#include "capture/WavWriter.h"

#include "platform/ptc/Error.h"

#include <cerrno>
#include <cstring>

namespace {

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
    file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        throw ptc::DynamicError("cannot create " + path + ": " + std::strerror(errno));
    writeHeader(0);
}

WavWriter::~WavWriter() {
    if (file != nullptr)
        std::fclose(file);
}

void WavWriter::writeHeader(std::uint32_t bytes) {
    std::uint8_t header[44];
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
    if (std::fseek(file, 0, SEEK_SET) != 0 || std::fwrite(header, 1, sizeof header, file) != sizeof header)
        throw ptc::DynamicError("cannot write " + filePath);
}

void WavWriter::append(const std::int16_t* samples, std::size_t count) {
    if (count == 0)
        return;
    std::vector<std::uint8_t> bytes(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint16_t value = static_cast<std::uint16_t>(samples[i]);
        bytes[2 * i] = value & 0xFF;
        bytes[2 * i + 1] = value >> 8;
    }
    if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
        throw ptc::DynamicError("cannot write " + filePath);
    dataBytes += bytes.size();
}

void WavWriter::finish() {
    if (file == nullptr)
        return;
    // A RIFF size field holds 32 bits; longer audio keeps the largest size it can state.
    std::uint32_t bytes = dataBytes > 0xFFFFFFD0u ? 0xFFFFFFD0u : static_cast<std::uint32_t>(dataBytes);
    writeHeader(bytes);
    bool closed = std::fclose(file) == 0;
    file = nullptr;
    if (!closed)
        throw ptc::DynamicError("cannot write " + filePath);
}
