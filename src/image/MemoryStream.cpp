#include "image/MemoryStream.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {
// Positions are ints in the Stream interface; the stream never grows past what they can name.
constexpr std::size_t largestSize = INT_MAX;
} // namespace

MemoryStream::MemoryStream() : data(std::make_shared<std::vector<std::uint8_t>>()) {}

MemoryStream::MemoryStream(const void* bytes, std::size_t count)
    : data(std::make_shared<std::vector<std::uint8_t>>()) {
    if (count > largestSize)
        count = largestSize;
    const auto* first = static_cast<const std::uint8_t*>(bytes);
    if (count)
        data->assign(first, first + count);
}

int MemoryStream::close() {
    if (!open)
        return 0;
    open = false;
    return 1;
}

int MemoryStream::read(void* buffer, int count) {
    if (!open || count < 0)
        return -1;
    std::size_t available = position < data->size() ? data->size() - position : 0;
    std::size_t moved = std::min(available, static_cast<std::size_t>(count));
    if (moved)
        std::memcpy(buffer, data->data() + position, moved);
    position += moved;
    return static_cast<int>(moved);
}

int MemoryStream::write(const void* buffer, int count) {
    if (!open || count < 0 || position + static_cast<std::size_t>(count) > largestSize)
        return -1;
    std::size_t end = position + static_cast<std::size_t>(count);
    if (end > data->size())
        data->resize(end);
    if (count)
        std::memcpy(data->data() + position, buffer, static_cast<std::size_t>(count));
    position = end;
    return count;
}

int MemoryStream::seek(int offset, int origin) {
    if (!open)
        return -1;
    long long base = origin == 0 ? 0 : origin == 1 ? static_cast<long long>(position)
                                   : origin == 2   ? static_cast<long long>(data->size())
                                                   : -1;
    if (base < 0)
        return -1;
    long long target = base + offset;
    if (target < 0 || target > static_cast<long long>(largestSize))
        return -1;
    position = static_cast<std::size_t>(target);
    return static_cast<int>(position);
}

int MemoryStream::atEnd() {
    if (!open)
        return 1;
    return position >= data->size() ? 1 : 0;
}
