#pragma once
// Pictures as the effects use them: a 32-bit Bitmap (0x00RRGGBB) or a ByteMap of each pixel's
// blue byte. Both throw ptc::DynamicError on every failure and never return a partial result.

#include "core/Bitmap.h"
#include "core/ByteMap.h"

// A new Bitmap whose pixels live in a surface that is kept, unmoved, for the rest of the run.
Bitmap* loadBitmap(const char* fileName);
// A new array of width x height bytes: the blue channel of each pixel, rows from the top.
ByteMap* loadByteMap(const char* fileName);
// The same, also telling the picture's size (a ByteMap carries none).
ByteMap* loadByteMap(const char* fileName, int& width, int& height);
