#include "app/DataLocation.h"

#include <gtest/gtest.h>

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
        "no Data/ folder in the working directory (/home/a) nor in /opt/v/share/velmora; give --data DIR");
}

TEST(DataLocation, UnknownExecutableLooksOnlyHere) {
    DataLocation location = choose({"/share/velmora"}, "/home/a", "");
    EXPECT_EQ(location.directory, "");
    EXPECT_EQ(
        location.error,
        "no Data/ folder in the working directory (/home/a), and the program's own location is unknown; "
        "give --data DIR");
}
