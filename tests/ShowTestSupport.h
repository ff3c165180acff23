#pragma once
// A Data folder for running the show in tests: the generated pictures (made once per build and
// linked in), with a loading picture and a short looping module of the test's own; and running
// the velmora program with its output captured.

#include "TestModules.h"
#include "GeneratedData.h"
#include "datagen/DataGenerator.h"
#include "image/FileStream.h"
#include "image/JpegCodec.h"
#include "platform/ptc/Format.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <chrono>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace showtest {

namespace fs = std::filesystem;

// A fresh directory under the system's temporary directory, removed at the end.
class TemporaryDirectory {
public:
    explicit TemporaryDirectory(const std::string& name) {
        path = fs::temp_directory_path() / ("velmora-" + name + "-" + std::to_string(::getpid()));
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TemporaryDirectory() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    fs::path path;
};

// Two orders of 16 rows (60 ms each, about 1.9 s a pass), a square wave on every fourth row of
// channel 0 (instrument 1) and every eighth of channel 1 (instrument 2); restarts at order 0.
inline XmModule showModule() {
    XmModule module = testmodules::emptyModule();
    module.instruments.push_back(testmodules::squareInstrument(90, "lead"));
    module.instruments.push_back(testmodules::squareInstrument(60, "bass"));
    for (int p = 0; p < 2; ++p) {
        XmPattern pattern(16, 2);
        for (int row = 0; row < 16; row += 4)
            pattern.at(row, 0) = testmodules::noteOf(1);
        for (int row = 0; row < 16; row += 8)
            pattern.at(row, 1) = testmodules::noteOf(2);
        module.patterns.push_back(pattern);
    }
    module.orders = {0, 1};
    return module;
}

// Every generated data file (made once per build of the test binary).
inline fs::path generatedShowData() {
    return fs::path(testdata::sharedDataDirectory());
}

// Writes a Data folder under `root`: Data/x1.jpg (a colour gradient of the given size) and
// Data/atbia3.xm (the short test module), each only if asked, and every other picture linked to
// the generated ones.
inline void writeShowData(const fs::path& root, bool withPicture = true, bool withModule = true, int width = 512,
                          int height = 384) {
    fs::create_directories(root / "Data");
    for (const fs::directory_entry& entry : fs::directory_iterator(generatedShowData())) {
        std::string name = entry.path().filename().string();
        if (name != "x1.jpg" && name != datagen::kModuleName)
            fs::create_symlink(entry.path(), root / "Data" / name);
    }
    if (withPicture) {
        std::vector<std::uint8_t> pixels;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                pixels.insert(pixels.end(), {std::uint8_t(x / 2), std::uint8_t(y * 2 / 3), std::uint8_t(128)});
        const ptc::Format rgb(24, 0x0000FF, 0x00FF00, 0xFF0000);
        std::string name = (root / "Data" / "x1.jpg").string();
        FileStream file(name.c_str(), 4);
        int quality = 90;
        JpegCodec().save(&file, width, height, rgb, nullptr, pixels.data(), &quality);
    }
    if (withModule)
        XmWriter::save(showModule(), (root / "Data" / "atbia3.xm").string());
}

// A Data folder under `root` of links to every generated file, the generated module included;
// `substitutes` maps a file's name to the generated file linked in its place.
inline void linkGeneratedData(const fs::path& root, const std::map<std::string, std::string>& substitutes = {}) {
    const fs::path generated = generatedShowData();
    fs::create_directories(root / "Data");
    for (const fs::directory_entry& entry : fs::directory_iterator(generated)) {
        std::string name = entry.path().filename().string();
        auto substitute = substitutes.find(name);
        fs::create_symlink(substitute == substitutes.end() ? entry.path() : generated / substitute->second,
                           root / "Data" / name);
    }
}

// Links every generated data file into `root`/Data: the whole show. Returns `root`.
inline fs::path linkFullShowData(const fs::path& root) {
    fs::create_directories(root / "Data");
    for (const fs::directory_entry& entry : fs::directory_iterator(generatedShowData()))
        fs::create_symlink(entry.path(), root / "Data" / entry.path().filename());
    return root;
}

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs build/velmora with `arguments` (already shell-quoted where needed) in `workingDirectory`.
inline RunResult runVelmora(const std::string& arguments, const fs::path& workingDirectory,
                            const std::string& environment = "") {
    fs::path outFile = workingDirectory / "velmora.stdout";
    fs::path errFile = workingDirectory / "velmora.stderr";
    std::string command = "cd '" + workingDirectory.string() + "' && " + environment + " '" VELMORA_BINARY_DIR
                          "/velmora' " + arguments + " >'" + outFile.string() + "' 2>'" + errFile.string() + "'";
    int raw = std::system(command.c_str());
    RunResult result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = readFile(outFile);
    result.err = readFile(errFile);
    fs::remove(outFile);
    fs::remove(errFile);
    return result;
}

// velmora started in the background in `directory`, its output into velmora.stdout and
// velmora.stderr there, so that a test can signal it or take its display away while it runs.
class BackgroundRun {
  public:
    BackgroundRun(const std::string& arguments, const fs::path& directory, const std::string& environment = "")
        : outFile(directory / "velmora.stdout"), errFile(directory / "velmora.stderr") {
        std::string command = "cd '" + directory.string() + "' && exec env " + environment + " '" VELMORA_BINARY_DIR
                              "/velmora' " + arguments + " >'" + outFile.string() + "' 2>'" + errFile.string() + "'";
        const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
        if (posix_spawn(&process, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), ::environ) != 0)
            process = -1;
    }
    ~BackgroundRun() {
        if (process > 0) {
            kill(process, SIGKILL);
            waitpid(process, nullptr, 0);
        }
    }

    void signal(int number) const { kill(process, number); }

    // The raw wait status.
    int wait() {
        int status = 0;
        waitpid(process, &status, 0);
        process = -1;
        return status;
    }

    std::string out() const { return readFile(outFile); }
    std::string err() const { return readFile(errFile); }

  private:
    pid_t process = -1;
    fs::path outFile;
    fs::path errFile;
};

// Waits until `file` holds more than `bytes`, at most a minute.
inline bool waitForContent(const fs::path& file, std::uintmax_t bytes = 0) {
    for (int attempt = 0; attempt < 600; ++attempt) {
        std::error_code ignored;
        if (fs::file_size(file, ignored) > bytes && !ignored)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

} // namespace showtest
