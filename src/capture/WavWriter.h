#pragma once
// A 16-bit stereo PCM WAV file written as the samples come; the header's sizes are filled in
// by `finish`.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class WavWriter {
public:
    // DynamicError when the file cannot be created.
    WavWriter(const std::string& path, int sampleRate);
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Interleaved left, right.
    void append(const std::int16_t* samples, std::size_t count);
    // Completes the header and closes the file (DynamicError on a write failure).
    void finish();

private:
    void writeHeader(std::uint32_t dataBytes);

    std::string filePath;
    std::FILE* file = nullptr;
    int rate;
    std::uint64_t dataBytes = 0;
};
