#pragma once
// What the grid mapper's fills share: its bilinear fetch from the 512 x 512 texture (coordinates
// 8.8 fixed point, wrapping), the edges of one 16 x 16 block, and the AVX2 form of a block's fill
// (GridMapAvx2.cpp).

#include <cstdint>

namespace gridmap {

constexpr std::uint32_t lastTexel = 0x3FFFF; // 512 * 512 - 1

// The fetch of samplePixel. Weights are 8-bit fractions whose products are cut to 8 bits, so they
// add up to at most 256 and every channel's sum stays below 65,536: red and blue share one word.
inline std::uint32_t bilinearFetch(const std::uint32_t* texture, std::int32_t u, std::int32_t v) {
    std::uint32_t fx = u & 255, fy = v & 255;
    std::uint32_t index = (((v >> 8) & 511) << 9) | ((u >> 8) & 511);
    std::uint32_t c00 = texture[index];
    std::uint32_t c01 = texture[(index + 1) & lastTexel]; // column 511's neighbour is the next row's 0
    std::uint32_t c10 = texture[(index + 512) & lastTexel];
    std::uint32_t c11 = texture[(index + 513) & lastTexel];
    std::uint32_t w00 = ((256 - fy) * (256 - fx)) >> 8;
    std::uint32_t w01 = ((256 - fy) * fx) >> 8;
    std::uint32_t w10 = ((256 - fx) * fy) >> 8;
    std::uint32_t w11 = (fy * fx) >> 8;
    std::uint32_t redBlue =
        (w00 * (c00 & 0xFF00FF) + w01 * (c01 & 0xFF00FF) + w10 * (c10 & 0xFF00FF) + w11 * (c11 & 0xFF00FF)) >>
            8 &
        0xFF00FF;
    std::uint32_t green =
        (w00 * (c00 & 0xFF00) + w01 * (c01 & 0xFF00) + w10 * (c10 & 0xFF00) + w11 * (c11 & 0xFF00)) >> 8 &
        0xFF00;
    return redBlue | green;
}

// One 16 x 16 block: the left and right edges step down the rows, each row steps from the left
// edge to the right one in sixteenths (arithmetic shifts, as for the signed values).
struct BlockEdges {
    std::uint32_t leftV, leftU, rightV, rightU;
    std::uint32_t leftStepV, leftStepU, rightStepV, rightStepU;

    std::uint32_t rowStepV() const {
        return static_cast<std::uint32_t>(static_cast<std::int32_t>(rightV - leftV) >> 4);
    }
    std::uint32_t rowStepU() const {
        return static_cast<std::uint32_t>(static_cast<std::int32_t>(rightU - leftU) >> 4);
    }
    void nextRow() { leftV += leftStepV, leftU += leftStepU, rightV += rightStepV, rightU += rightStepU; }
};

} // namespace gridmap

// The sixteen rows of one block, the same pixels as sixteen bilinearFetch calls per row.
void fillGridBlockAvx2(std::uint32_t* row, const std::uint32_t* texture, gridmap::BlockEdges edges);
