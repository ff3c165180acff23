// The PCX codec alone: decode, save what was decoded, and decode that again.

#include "FuzzSupport.h"

#include "image/PcxCodec.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::roundTrip<PcxCodec>(data, size, /*saverDeletesStream=*/false, /*lossless=*/true);
    return 0;
}
