#include "core/ShowObjects.h"

std::uint32_t* workBufferA = nullptr;
std::uint32_t* workBufferB = nullptr;
std::int32_t musicLevel = 0;
LayerList* layerList = nullptr;
Bitmap screen;
