#pragma once
// 256 colours, each 0x00RRGGBB.

#include <array>
#include <cstdint>

namespace ptc {

class Palette {
public:
    Palette() { entries.fill(0); }

    // Copies 256 entries.
    void load(const std::uint32_t* data) {
        for (int i = 0; i < 256; ++i)
            entries[i] = data[i];
    }
    std::uint32_t* lock() { return entries.data(); }
    void unlock() {}
    const std::uint32_t* data() const { return entries.data(); }

private:
    std::array<std::uint32_t, 256> entries;
};

} // namespace ptc
