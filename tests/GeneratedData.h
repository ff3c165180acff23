#pragma once
// Every data file of the show, generated once per build of the test binary into the build
// directory. Generating takes seconds and CTest runs each test in its own process, so the first
// process generates under a lock and the others wait for it and reuse the files.

#include "datagen/DataGenerator.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace testdata {

inline std::string sharedDataDirectory() {
    namespace fs = std::filesystem;
    static const std::string directory = [] {
        fs::path base = fs::path(VELMORA_BINARY_DIR) / "data-test";
        fs::create_directories(base);
        int lock = ::open((base / "lock").c_str(), O_CREAT | O_RDWR, 0644);
        if (lock < 0 || ::flock(lock, LOCK_EX) != 0)
            throw std::runtime_error("cannot lock " + base.string());
        // A rebuilt test binary may come with a changed generator: the stamp is its time.
        std::string stamp = std::to_string(fs::last_write_time("/proc/self/exe").time_since_epoch().count());
        std::string found;
        std::ifstream(base / "stamp") >> found;
        fs::path data = base / "Data";
        if (found != stamp) {
            fs::remove_all(data);
            datagen::GeneratorOptions options;
            options.directory = data.string();
            datagen::generateData(options);
            std::ofstream(base / "stamp") << stamp;
        }
        ::flock(lock, LOCK_UN);
        ::close(lock);
        return data.string();
    }();
    return directory;
}

} // namespace testdata
