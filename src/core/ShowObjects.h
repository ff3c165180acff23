#pragma once
// The process-wide objects that effects reach by name. The show fills them during start-up;
// tests point them at their own.

#include "core/Bitmap.h"

#include <cstdint>

class LayerList;

// Scratch memory, 1,048,576 bytes each (512 x 512 32-bit values), shared by several layers.
extern std::uint32_t* workBufferA;
extern std::uint32_t* workBufferB;

// The current frame's music level, left plus right.
extern std::int32_t musicLevel;

// The drawing target handed to every layer: 512 x 384, its pixels those of the latest lock of
// the off-screen surface. Layers built on the screen keep its pixel address.
extern Bitmap screen;

// The stack of active layers.
extern LayerList* layerList;

// Size of each work buffer in 32-bit values.
constexpr int workBufferWords = 512 * 512;
