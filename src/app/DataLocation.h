#pragma once
// Where the show finds Data/ when --data is not given. The working directory comes first, so a
// folder with its own Data/ always plays that; otherwise the data installed with the program,
// share/velmora reached from the executable's bin/ folder, so an installation under any prefix
// (/usr, /usr/local, an unpacked package) finds its own files. A Data/ folder counts only when
// it holds the show's music: a user's own ~/Data, say, must not hide the installed data.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

struct DataLocation {
    // The directory the show moves into before loading; "" means the working directory.
    std::string directory;
    // One line naming every place looked at, when none holds Data/ (directory is then "").
    std::string error;
};

// The installed data directory of a program at `executable`: <prefix>/share/velmora for
// <prefix>/bin/velmora.
std::filesystem::path installedDataDirectory(const std::filesystem::path& executable);

// Whether `directory`/Data holds the show's music.
bool holdsShowData(const std::filesystem::path& directory);

// `holdsData(dir)` tells whether dir/Data is the show's data (holdsShowData). `executable` is the program's own path,
// empty when it cannot be read.
DataLocation chooseDataLocation(const std::function<bool(const std::filesystem::path&)>& holdsData,
                                const std::filesystem::path& workingDirectory,
                                const std::filesystem::path& executable);

// chooseDataLocation over the file system, the working directory and /proc/self/exe. Throws
// ptc::DynamicError with the error line when neither place holds Data/.
std::string findDataDirectory();

// For as long as it lives, the working directory is `directory` (the one that holds Data/); the
// previous one comes back after. An empty `directory` changes nothing. DynamicError when the
// directory cannot be entered.
class DataDirectory {
public:
    explicit DataDirectory(const std::string& directory);
    ~DataDirectory();
    DataDirectory(const DataDirectory&) = delete;
    DataDirectory& operator=(const DataDirectory&) = delete;

private:
    std::optional<std::filesystem::path> previous;
};
