#include "core/SineTable.h"

#include <cmath>
#include <new>

namespace {

SineTable* theTable = nullptr;

// 3.141592 / 4096 as a double: a hair less than 2 pi / 8192, so the 8192 steps cover 6.283184
// radians and sin(2048) is 8191, not 8192.
constexpr double angleStep = 0.000766990234375;

} // namespace

SineTable* SineTable::instance() {
    if (theTable != nullptr)
        return theTable;
    SineTable* table = new (std::nothrow) SineTable;
    if (table == nullptr)
        return nullptr;
    table->sinTable = new std::int32_t[8192];
    table->cosTable = new std::int32_t[8192];
    for (int i = 0; i < 8192; ++i) {
        double angle = i * angleStep;
        table->sinTable[i] = static_cast<std::int32_t>(std::sin(angle) * 8192.0);
        table->cosTable[i] = static_cast<std::int32_t>(std::cos(angle) * 8192.0);
    }
    theTable = table;
    return table;
}
