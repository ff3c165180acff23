#pragma once
// Frames to PNG files: one picture, or a sink that numbers the frames of a run.

#include "platform/ptc/HeadlessBackend.h"

#include <cstdint>
#include <string>

namespace ptc {

// Writes width x height 0x00RRGGBB pixels (rows packed) as an 8-bit RGB PNG file.
// DynamicError when the file cannot be written.
void writePng(const std::string& path, const std::uint32_t* pixels, int width, int height);

// A sink that writes each frame into `directory` as frame000000.png, frame000001.png, ...
// counting from `firstNumber`. The directory is created if missing.
FrameSink pngFileSink(const std::string& directory, long firstNumber = 0);

} // namespace ptc
