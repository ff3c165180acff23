// The JPEG codec alone: decode, save what was decoded, and decode that again.

#include "FuzzSupport.h"

#include "image/JpegCodec.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::roundTrip<JpegCodec>(data, size, /*saverDeletesStream=*/false, /*lossless=*/false);
    return 0;
}
