#pragma once
// Handing memory from one core to another. A core that writes a cache line which another core holds
// modified must first fetch it from there. Where the cores are far apart (two processor dies, or a
// virtual machine's cores scattered over the host) that costs a few hundred nanoseconds a line, and
// writes all over a picture, one pixel here and one there, wait for line after line. Going through
// the same lines in order costs little, since the processor then fetches ahead. Measured on a
// 2-core virtual machine: 40,000 pixels added at random into a 512 x 384 picture took 49 us when
// this core had written the picture last and 210 us when the other core had written half of it;
// taking the lines over in order first cost 20 us.

#include <cstddef>

// Brings every cache line of [begin, begin + bytes) into this core's cache, ready for writing,
// without changing a byte. No other thread may use the memory meanwhile.
inline void claimCacheLines(void* begin, std::size_t bytes) {
    constexpr std::size_t lineBytes = 64;
    if (bytes == 0)
        return;
    auto* memory = static_cast<volatile unsigned char*>(begin);
    for (std::size_t offset = 0; offset < bytes; offset += lineBytes)
        memory[offset] = memory[offset];
    memory[bytes - 1] = memory[bytes - 1];
}
