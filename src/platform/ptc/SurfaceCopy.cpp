// Surface to console copies. The console reduces the pixels to its own depth as it takes them.

#include "platform/ptc/Console.h"
#include "platform/ptc/Error.h"
#include "platform/ptc/Surface.h"

#include <string>

namespace ptc {

namespace {

std::string sizeText(int width, int height) {
    return std::to_string(width) + " x " + std::to_string(height);
}

} // namespace

void Surface::copy(Console& console) {
    if (console.width() != surfaceWidth || console.height() != surfaceHeight)
        throw DynamicError("cannot copy a " + sizeText(surfaceWidth, surfaceHeight) + " surface to a " +
                           sizeText(console.width(), console.height()) + " console");
    console.write(memory.get(), pitch(), Area(0, 0, surfaceWidth, surfaceHeight));
}

void Surface::copy(Console& console, const Area& source, const Area& destination) {
    if (source.width() != destination.width() || source.height() != destination.height())
        throw DynamicError("copy areas differ in size: " + sizeText(source.width(), source.height()) +
                           " and " + sizeText(destination.width(), destination.height()));
    if (source.left() < 0 || source.top() < 0 || source.width() < 0 || source.height() < 0 ||
        source.right() > surfaceWidth || source.bottom() > surfaceHeight)
        throw DynamicError("copy area reaches outside the " + sizeText(surfaceWidth, surfaceHeight) +
                           " surface");
    const std::uint32_t* start =
        memory.get() + static_cast<std::size_t>(source.top()) * surfaceWidth + source.left();
    console.write(start, pitch(), destination);
}

} // namespace ptc
