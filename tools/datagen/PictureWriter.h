#pragma once
// Stores painted pictures in the show's file formats through the image library: JPEG (JFIF,
// three components) or 8-bit PCX with a grey palette.

#include "PictureCatalogue.h"

#include <cstdint>
#include <string>
#include <vector>

namespace datagen {

inline constexpr int kJpegQuality = 92;

// The file's bytes. `pixels` holds width * height values 0x00RRGGBB. For a PCX the blue byte of
// each pixel becomes its index into a palette of greys (index i is the grey i).
std::vector<std::uint8_t> encodePicture(const PictureFile& file, const std::vector<std::uint32_t>& pixels);

// Writes bytes to a file; throws std::runtime_error naming the file when that fails.
void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

} // namespace datagen
