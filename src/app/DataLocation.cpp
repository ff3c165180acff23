#include "app/DataLocation.h"

#include "driver/ShowMusic.h"
#include "platform/ptc/Error.h"

namespace fs = std::filesystem;

bool holdsShowData(const fs::path& directory) {
    std::error_code unreadable;
    return fs::is_regular_file(directory / showModulePath(), unreadable);
}

fs::path installedDataDirectory(const fs::path& executable) {
    return (executable.parent_path().parent_path() / "share" / "velmora").lexically_normal();
}

DataLocation chooseDataLocation(const std::function<bool(const fs::path&)>& holdsData,
                                const fs::path& workingDirectory, const fs::path& executable) {
    if (holdsData(workingDirectory))
        return {};
    const std::string here = std::string("no Data/ folder with ") + fs::path(showModulePath()).filename().string() +
                             " in the working directory (" + workingDirectory.string() + ")";
    if (executable.empty())
        return {"", here + ", and the program's own location is unknown; give --data DIR"};
    const fs::path installed = installedDataDirectory(executable);
    if (holdsData(installed))
        return {installed.string(), ""};
    return {"", here + " nor in " + installed.string() + "; give --data DIR"};
}

std::string findDataDirectory() {
    // A deleted working directory leaves the path empty, which still means "here" below.
    std::error_code ignored;
    fs::path workingDirectory = fs::current_path(ignored);
    fs::path executable = fs::read_symlink("/proc/self/exe", ignored);
    DataLocation location = chooseDataLocation(holdsShowData, workingDirectory, executable);
    if (!location.error.empty())
        throw ptc::DynamicError(location.error);
    return location.directory;
}

DataDirectory::DataDirectory(const std::string& directory) {
    if (directory.empty())
        return;
    previous = std::filesystem::current_path();
    std::error_code error;
    std::filesystem::current_path(directory, error);
    if (error)
        throw ptc::DynamicError("cannot use data directory " + directory + ": " + error.message());
}

DataDirectory::~DataDirectory() {
    if (previous) {
        std::error_code ignored;
        std::filesystem::current_path(*previous, ignored);
    }
}
