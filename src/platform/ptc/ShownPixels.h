#pragma once
// The row copy of a 32-bit console: the display keeps red, green and blue and shows the top
// byte, which carries no meaning, as zero. The scalar form is the reference; the SSE2 form gives
// the same pixels four at a time and is the one the console uses.

#include <cstddef>
#include <cstdint>

namespace ptc {

void copyShownPixelsScalar(std::uint32_t* target, const std::uint32_t* source, std::size_t count);
void copyShownPixelsSse2(std::uint32_t* target, const std::uint32_t* source, std::size_t count);
void copyShownPixels(std::uint32_t* target, const std::uint32_t* source, std::size_t count);

} // namespace ptc
