// Any bytes through recognition, decoding and conversion to 32-bit pixels.

#include "FuzzSupport.h"

#include "image/Image.h"
#include "platform/ptc/Surface.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        Image image(new MemoryStream(data, size));
        ptc::Surface surface(image.width(), image.height(), ptc::Format(32, 0xFF0000, 0x00FF00, 0x0000FF));
        image.transfer(surface);
    } catch (const ptc::DynamicError&) {
    }
    return 0;
}
