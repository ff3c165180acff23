#pragma once
// Writes every data file of the show into one directory: the pictures and the module.

#include <functional>
#include <string>
#include <vector>

namespace datagen {

inline constexpr const char* kModuleName = "atbia3.xm";

struct GeneratorOptions {
    std::string directory = "Data";
    int threads = 2;                                    // 1 or 2
    std::vector<std::string> only;                      // file names; empty for all
    std::function<void(const std::string&)> progress;   // one line per file written
};

// The names of all files, pictures first in loading order, then the module.
std::vector<std::string> dataFileNames();

// Creates the directory if needed. Throws std::runtime_error (one-line message) on failure.
void generateData(const GeneratorOptions& options);

} // namespace datagen
