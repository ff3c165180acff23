#include "platform/ptc/Format.h"

#include "platform/ptc/Error.h"

#include <string>

namespace ptc {

Format::Format(int bits) : bitCount(bits) {
    if (bits != 8)
        throw DynamicError("Indexed formats have 8 bits per pixel, not " + std::to_string(bits));
}

Format::Format(int bits, std::uint32_t red, std::uint32_t green, std::uint32_t blue, std::uint32_t alpha)
    : bitCount(bits), isDirect(true), redMask(red), greenMask(green), blueMask(blue), alphaMask(alpha) {
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32)
        throw DynamicError("Direct-colour formats have 8, 16, 24 or 32 bits per pixel, not " +
                           std::to_string(bits));
}

} // namespace ptc
