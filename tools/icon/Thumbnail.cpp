#include "Thumbnail.h"

#include <algorithm>

namespace icon {

// Coordinates are measured in 1 / size of a source pixel: source pixel i spans
// [i * size, (i + 1) * size) and thumbnail pixel x spans [x * side, (x + 1) * side), so every
// overlap is a whole number and the weights of one thumbnail pixel add up to side * side.
std::vector<std::uint32_t> squareThumbnail(const std::uint32_t* pixels, int width, int height, int size) {
    const int side = std::min(width, height);
    const int left = (width - side) / 2;
    const int top = (height - side) / 2;
    const std::uint64_t total = static_cast<std::uint64_t>(side) * side;

    // The source pixels a thumbnail pixel overlaps along one axis, with their weights.
    struct Span {
        int first;
        std::vector<std::uint64_t> weights;
    };
    std::vector<Span> spans(size);
    for (int x = 0; x < size; ++x) {
        const long start = static_cast<long>(x) * side, end = start + side;
        spans[x].first = static_cast<int>(start / size);
        for (long i = spans[x].first; i * size < end; ++i)
            spans[x].weights.push_back(std::min(end, (i + 1) * size) - std::max(start, i * size));
    }

    std::vector<std::uint32_t> result(static_cast<std::size_t>(size) * size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            std::uint64_t sum[3] = {0, 0, 0};
            for (std::size_t row = 0; row < spans[y].weights.size(); ++row) {
                const std::uint32_t* line =
                    pixels + static_cast<std::size_t>(top + spans[y].first + row) * width;
                for (std::size_t column = 0; column < spans[x].weights.size(); ++column) {
                    const std::uint64_t weight = spans[y].weights[row] * spans[x].weights[column];
                    const std::uint32_t pixel = line[left + spans[x].first + column];
                    for (int channel = 0; channel < 3; ++channel)
                        sum[channel] += weight * ((pixel >> (8 * channel)) & 0xFF);
                }
            }
            std::uint32_t out = 0;
            for (int channel = 0; channel < 3; ++channel)
                out |= static_cast<std::uint32_t>((sum[channel] + total / 2) / total) << (8 * channel);
            result[static_cast<std::size_t>(y) * size + x] = out;
        }
    }
    return result;
}

} // namespace icon
