#include "app/CheckpointCompression.h"

#include "platform/ptc/Error.h"

#include <zlib.h>

namespace {

constexpr std::size_t sizeBytes = 8;

std::vector<std::uint8_t> pack(const std::vector<std::uint8_t>& bytes) {
    uLongf packedSize = compressBound(uLong(bytes.size()));
    std::vector<std::uint8_t> packed(sizeBytes + packedSize);
    for (std::size_t i = 0; i < sizeBytes; ++i)
        packed[i] = std::uint8_t(std::uint64_t(bytes.size()) >> (8 * i));
    if (compress2(packed.data() + sizeBytes, &packedSize, bytes.data(), uLong(bytes.size()), Z_BEST_SPEED) != Z_OK)
        throw ptc::DynamicError("checkpoint: cannot compress");
    packed.resize(sizeBytes + packedSize);
    packed.shrink_to_fit();
    return packed;
}

std::vector<std::uint8_t> unpack(const std::vector<std::uint8_t>& packed) {
    if (packed.size() < sizeBytes)
        throw ptc::DynamicError("checkpoint: damaged");
    std::uint64_t size = 0;
    for (std::size_t i = 0; i < sizeBytes; ++i)
        size |= std::uint64_t(packed[i]) << (8 * i);
    if (size > (std::uint64_t(1) << 31))
        throw ptc::DynamicError("checkpoint: damaged");
    std::vector<std::uint8_t> bytes(size);
    uLongf unpackedSize = uLongf(size);
    if (uncompress(bytes.data(), &unpackedSize, packed.data() + sizeBytes, uLong(packed.size() - sizeBytes)) != Z_OK ||
        unpackedSize != size)
        throw ptc::DynamicError("checkpoint: damaged");
    return bytes;
}

} // namespace

CheckpointPacking compressedCheckpoints() {
    return {pack, unpack};
}
