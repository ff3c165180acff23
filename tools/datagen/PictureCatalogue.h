#pragma once
// Every picture file of the show: its name, size, how it is stored and how it is painted.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace datagen {

enum class PictureFormat { Jpeg, Pcx };

struct PictureFile {
    std::string name;
    int width = 0;
    int height = 0;
    bool grey = false; // read by the show as a byte map: painted grey
    PictureFormat format = PictureFormat::Jpeg;
    // width * height pixels 0x00RRGGBB, rows from the top.
    std::function<std::vector<std::uint32_t>()> paint;
};

// In the order the show loads them.
const std::vector<PictureFile>& pictureFiles();

} // namespace datagen
