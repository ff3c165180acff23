#include "platform/ptc/Error.h"

#include <cstdio>

namespace ptc {

void Error::report() const {
    std::fprintf(stderr, "velmora: %s\n", text.c_str());
}

} // namespace ptc
