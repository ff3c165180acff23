// Kept checkpoints are stored compressed: what is packed comes back byte for byte, and a damaged
// packed checkpoint is refused rather than restored.
#include "app/CheckpointCompression.h"
#include "platform/ptc/Error.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

TEST(CheckpointCompression, PackedBytesComeBackAndDamageIsRefused) {
    CheckpointPacking packing = compressedCheckpoints();
    std::vector<std::uint8_t> state(3 << 20);
    std::uint32_t random = 1;
    for (std::size_t i = 0; i < state.size(); ++i) {
        random = random * 1103515245u + 12345u;
        state[i] = i < state.size() / 2 ? 0 : std::uint8_t(random >> 24); // half black, half noise
    }
    std::vector<std::uint8_t> packed = packing.pack(state);
    EXPECT_LT(packed.size(), state.size() * 3 / 4);
    EXPECT_EQ(packing.unpack(packed), state);
    EXPECT_EQ(packing.unpack(packing.pack({})), std::vector<std::uint8_t>{});

    std::vector<std::uint8_t> cut(packed.begin(), packed.begin() + std::ptrdiff_t(packed.size() / 2));
    EXPECT_THROW(packing.unpack(cut), ptc::DynamicError);
    std::vector<std::uint8_t> wrongSize = packed;
    wrongSize[0] ^= 1;
    EXPECT_THROW(packing.unpack(wrongSize), ptc::DynamicError);
    EXPECT_THROW(packing.unpack({1, 2, 3}), ptc::DynamicError);
    std::vector<std::uint8_t> huge(16, 0xFF);
    EXPECT_THROW(packing.unpack(huge), ptc::DynamicError);
}
