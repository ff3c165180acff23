// The velmora program run as a whole on a small Data folder made here.
#include "ShowTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using namespace showtest;

namespace {

// Every file of a directory by name, with its contents.
std::map<std::string, std::string> filesOf(const fs::path& directory) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(directory))
        files[entry.path().filename().string()] = readFile(entry.path());
    return files;
}

} // namespace

TEST(ShowRun, MissingPictureReportsTheLoadersMessage) {
    TemporaryDirectory root("missing-picture");
    writeShowData(root.path, false, true);
    RunResult run = runVelmora("--headless --frames 1", root.path);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "velmora: Zarvo error - Cannot open file, Data/x1.jpg\n");
}

TEST(ShowRun, MissingModuleIsAnErrorNotASilentEnd) {
    TemporaryDirectory root("missing-module");
    writeShowData(root.path, true, false);
    // Given with --data, the folder is taken as it is and the loader says what is missing.
    RunResult run = runVelmora("--data . --headless --frames 1", root.path);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("velmora: cannot load music module Data/atbia3.xm: ", 0), 0u) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
    // Found by looking, a Data/ folder without the music is not the show's.
    run = runVelmora("--headless --frames 1", root.path);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("velmora: no Data/ folder with atbia3.xm in the working directory", 0), 0u) << run.err;
}

TEST(ShowRun, DataOptionNamesTheDataDirectorysParent) {
    TemporaryDirectory root("data-option");
    writeShowData(root.path / "show");
    RunResult run = runVelmora("--data show --headless --frames 3 --stats", root.path);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("frames 3 "), std::string::npos) << run.out;
    // Without --data and without Data/ here, the data installed beside the program is looked
    // for, ../share/velmora from the build folder, and the error names both places.
    const std::string installed =
        (std::filesystem::canonical(VELMORA_BINARY_DIR).parent_path() / "share" / "velmora").string();
    // An unrelated Data/ here is not taken for the show's.
    fs::create_directories(root.path / "Data");
    EXPECT_EQ(runVelmora("--headless --frames 3", root.path).err,
              "velmora: no Data/ folder with atbia3.xm in the working directory (" +
                  std::filesystem::canonical(root.path).string() + ") nor in " + installed +
                  "; give --data DIR\n");
}

TEST(ShowRun, OfflineRunsAreDeterministic) {
    TemporaryDirectory root("deterministic");
    writeShowData(root.path);
    for (const char* directory : {"first", "second"}) {
        RunResult run = runVelmora(std::string("--png-dir ") + directory + " --fps 25 --frames 12", root.path);
        ASSERT_EQ(run.status, 0) << run.err;
    }
    auto first = filesOf(root.path / "first");
    auto second = filesOf(root.path / "second");
    EXPECT_EQ(first.size(), 13u) << "12 frames and the sound";
    ASSERT_TRUE(first.count("frame000011.png") && first.count("audio.wav"));
    // 12 frames at 25 per second: 0.48 s of 16-bit stereo at 44100 Hz after a 44-byte header.
    EXPECT_EQ(first["audio.wav"].size(), 44u + 21168u * 4);
    EXPECT_NE(first["audio.wav"].find_first_not_of('\0', 44), std::string::npos) << "the module is heard";
    EXPECT_TRUE(first == second) << "two runs of one command differ";
}

TEST(ShowRun, SnapshotsWriteOnlyTheirFrames) {
    TemporaryDirectory root("snapshot");
    writeShowData(root.path);
    RunResult run = runVelmora("--png-dir shots --fps 30 --snapshot 0.5,0.1,0.11", root.path);
    ASSERT_EQ(run.status, 0) << run.err;
    // The first frame at or after each time: 0.1 s is frame 3, 0.11 s frame 4, 0.5 s frame 15.
    std::vector<std::string> names;
    for (const auto& [name, contents] : filesOf(root.path / "shots"))
        names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"audio.wav", "frame000003.png", "frame000004.png", "frame000015.png"}));
}

TEST(ShowRun, RecordsVideoWithSound) {
    if (std::system("ffprobe -version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no ffprobe";
    TemporaryDirectory root("record");
    writeShowData(root.path);
    RunResult run = runVelmora("--record out.mp4 --seconds 10", root.path);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(fs::exists(root.path / "out.mp4.video.mkv")) << "temporary video left behind";
    EXPECT_FALSE(fs::exists(root.path / "out.mp4.audio.wav")) << "temporary sound left behind";
    std::string probe = "ffprobe -v error -show_entries stream=codec_type,codec_name,width,height,pix_fmt,duration "
                        "-of compact=p=0:nk=1 '" + (root.path / "out.mp4").string() + "' > '" +
                        (root.path / "probe.txt").string() + "'";
    ASSERT_EQ(std::system(probe.c_str()), 0);
    std::istringstream lines(readFile(root.path / "probe.txt"));
    std::string video, audio;
    std::getline(lines, video);
    std::getline(lines, audio);
    // codec name | type | width | height | pixel format | duration
    // Scaled up twice by default, so 4:2:0 keeps a colour sample per show pixel.
    EXPECT_EQ(video.rfind("h264|video|1024|768|yuv420p|", 0), 0u) << video;
    EXPECT_EQ(audio.rfind("aac|audio|", 0), 0u) << audio;
    double videoSeconds = std::atof(video.substr(video.rfind('|') + 1).c_str());
    double audioSeconds = std::atof(audio.substr(audio.rfind('|') + 1).c_str());
    EXPECT_NEAR(videoSeconds, 10.0, 0.1);
    EXPECT_NEAR(audioSeconds, 10.0, 0.1);
}

TEST(ShowRun, RenderWithoutALengthPlaysOnePassOfTheMusic) {
    TemporaryDirectory root("one-pass");
    writeShowData(root.path);
    // The test module's pass is 32 rows of 60 ms, 1.92 s: at 10 frames a second, frames 0 .. 19.
    RunResult run = runVelmora("--png-dir frames --fps 10", root.path);
    ASSERT_EQ(run.status, 0) << run.err;
    int frames = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(root.path / "frames"))
        frames += entry.path().extension() == ".png";
    EXPECT_EQ(frames, 20);
}

TEST(ShowRun, LoadingPictureOfWrongSizeIsNamed) {
    TemporaryDirectory root("wrong-size");
    writeShowData(root.path, true, true, 640, 480);
    RunResult run = runVelmora("--headless --frames 1", root.path);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "velmora: Data/x1.jpg: picture is 640 x 480 pixels, needs 512 x 384\n");
}

TEST(ShowRun, ShortOrCorruptPicturesStopStartUpNamingTheFile) {
    TemporaryDirectory root("short");
    writeShowData(root.path);
    // Replaces a generated picture by its first `length` bytes.
    auto truncate = [&root](const std::string& name, std::size_t length) {
        fs::path link = root.path / "Data" / name;
        std::string bytes = readFile(fs::read_symlink(link)).substr(0, length);
        fs::remove(link);
        std::ofstream(link, std::ios::binary) << bytes;
    };
    truncate("x14.jpg", 3000);
    RunResult run = runVelmora("--headless --frames 1", root.path);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "velmora: Data/x14.jpg: Zarvo error - Unexpected end of file\n");

    fs::remove(root.path / "Data" / "x14.jpg");
    fs::create_symlink(generatedShowData() / "x14.jpg", root.path / "Data" / "x14.jpg");
    truncate("x26.pcx", 500);
    run = runVelmora("--headless --frames 1", root.path);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "velmora: Data/x26.pcx: Zarvo error - Unexpected end of file\n");
}
