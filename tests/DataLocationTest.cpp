#include "app/DataLocation.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <set>
#include <string>

namespace {

namespace fs = std::filesystem;

// A made-up file system: the directories whose Data/ exists.
DataLocation choose(std::set<std::string> withData, const std::string& workingDirectory,
                    const std::string& executable) {
    return chooseDataLocation(
        [&](const fs::path& directory) { return withData.count(directory.string()) > 0; }, workingDirectory,
        executable);
}

} // namespace

TEST(DataLocation, InstalledDirectoryIsShareBesideBin) {
    EXPECT_EQ(installedDataDirectory("/usr/bin/velmora"), fs::path("/usr/share/velmora"));
    EXPECT_EQ(installedDataDirectory("/tmp/unpacked/usr/bin/velmora"),
              fs::path("/tmp/unpacked/usr/share/velmora"));
    EXPECT_EQ(installedDataDirectory("/opt/v/bin/../bin/velmora"), fs::path("/opt/v/share/velmora"));
}

TEST(DataLocation, WorkingDirectoryWinsOverInstalledData) {
    DataLocation location = choose({"/home/a", "/usr/share/velmora"}, "/home/a", "/usr/bin/velmora");
    EXPECT_EQ(location.directory, "");
    EXPECT_EQ(location.error, "");
}

TEST(DataLocation, InstalledDataWhenWorkingDirectoryHasNone) {
    DataLocation location = choose({"/usr/local/share/velmora"}, "/home/a", "/usr/local/bin/velmora");
    EXPECT_EQ(location.directory, "/usr/local/share/velmora");
    EXPECT_EQ(location.error, "");
}

TEST(DataLocation, ErrorNamesBothPlaces) {
    DataLocation location = choose({"/usr/share/velmora"}, "/home/a", "/opt/v/bin/velmora");
    EXPECT_EQ(location.directory, "");
    EXPECT_EQ(
        location.error,
        "no Data/ folder with atbia3.xm in the working directory (/home/a) nor in /opt/v/share/velmora; give --data DIR");
}

TEST(DataLocation, UnknownExecutableLooksOnlyHere) {
    DataLocation location = choose({"/share/velmora"}, "/home/a", "");
    EXPECT_EQ(location.directory, "");
    EXPECT_EQ(
        location.error,
        "no Data/ folder with atbia3.xm in the working directory (/home/a), and the program's own location is unknown; "
        "give --data DIR");
}

// An unrelated Data/ folder (a user's ~/Data, say) is passed over for the installed data.
TEST(DataLocation, ADataFolderWithoutTheMusicIsPassedOver) {
    fs::path root = fs::temp_directory_path() / ("velmora-decoy-" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "home" / "Data");
    fs::create_directories(root / "bin");
    fs::create_directories(root / "share" / "velmora" / "Data");
    std::ofstream(root / "share" / "velmora" / "Data" / "atbia3.xm") << "music";
    EXPECT_FALSE(holdsShowData(root / "home"));
    EXPECT_TRUE(holdsShowData(root / "share" / "velmora"));
    DataLocation location = chooseDataLocation(holdsShowData, root / "home", root / "bin" / "velmora");
    EXPECT_EQ(location.directory, (root / "share" / "velmora").string());
    EXPECT_EQ(location.error, "");
    // A folder named like the music is not the music.
    fs::create_directories(root / "home" / "Data" / "atbia3.xm");
    EXPECT_FALSE(holdsShowData(root / "home"));
    fs::remove_all(root);
}

// Over the real file system: a Data/ here with the music is taken; without it the error names
// share/velmora beside this program's own bin folder (the build folder's parent for the tests).
TEST(DataLocation, FindsTheDataHereElseNamesTheInstalledPlace) {
    fs::path root = fs::temp_directory_path() / ("velmora-find-" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "Data");
    fs::path previous = fs::current_path();
    fs::current_path(root);
    std::string error;
    try {
        findDataDirectory();
    } catch (const std::exception& failure) {
        error = failure.what();
    }
    std::ofstream(root / "Data" / "atbia3.xm") << "music";
    std::string found = findDataDirectory();
    fs::current_path(previous);
    fs::remove_all(root);
    const fs::path installed = fs::canonical(VELMORA_BINARY_DIR).parent_path() / "share" / "velmora";
    EXPECT_NE(error.find(" nor in " + installed.string() + ";"), std::string::npos) << error;
    EXPECT_EQ(found, "");
}
