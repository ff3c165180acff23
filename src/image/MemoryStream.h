#pragma once
// A Stream over bytes in memory, for tests, fuzzing and saving without files. The bytes are
// shared: `bytes()` stays valid after the stream is closed or deleted, which matters because some
// savers delete the stream they are given.

#include "image/Stream.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class MemoryStream : public Stream {
public:
    // An empty stream for writing (and reading back).
    MemoryStream();
    // A stream that reads (and may overwrite) a copy of `count` bytes.
    MemoryStream(const void* data, std::size_t count);

    int isAvailable() override { return open ? 1 : 0; }
    int close() override;
    int read(void* buffer, int count) override;
    int write(const void* buffer, int count) override;
    int flush() override { return open ? 0 : -1; }
    int seek(int offset, int origin) override;
    int tell() override { return open ? static_cast<int>(position) : -1; }
    int atEnd() override;
    int size() override { return open ? static_cast<int>(data->size()) : -1; }

    std::shared_ptr<std::vector<std::uint8_t>> bytes() const { return data; }

private:
    std::shared_ptr<std::vector<std::uint8_t>> data;
    std::size_t position = 0;
    bool open = true;
};
