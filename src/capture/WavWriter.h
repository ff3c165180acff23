#pragma once
// A 16-bit stereo PCM WAV file written as the samples come. The header's sizes are brought up
// to date after every append, so a file cut short by an abrupt end still states the samples it
// holds.

#include <cstdint>
#include <string>
#include <vector>

class WavWriter {
public:
    // DynamicError when the file cannot be created.
    WavWriter(const std::string& path, int sampleRate);
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Interleaved left, right. DynamicError on a write failure.
    void append(const std::int16_t* samples, std::size_t count);
    // Closes the file (DynamicError on a write failure).
    void finish();

private:
    void writeHeader();
    void writeAt(const std::uint8_t* bytes, std::size_t size, long offset);

    std::string filePath;
    int file = -1;
    int rate;
    std::uint64_t dataBytes = 0;
};
