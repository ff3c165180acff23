// Recordings keep the show's pixels: the fractal's single points survive H.264 at the default
// scale, and the lossless file decodes to exactly the frames and the sound of an offline render.
#include "ShowTestSupport.h"
#include "capture/VideoRecorder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <regex>
#include <thread>

using namespace showtest;

namespace {

constexpr int showWidth = 512;
constexpr int showHeight = 384;
constexpr std::size_t showBytes = std::size_t(showWidth) * showHeight * 3;

bool haveFfmpeg() {
    return std::system("ffmpeg -version >/dev/null 2>&1") == 0 && std::system("ffprobe -version >/dev/null 2>&1") == 0;
}

// Reads what a shell command writes, in blocks of `blockBytes`.
class CommandOutput {
  public:
    explicit CommandOutput(const std::string& command) : pipe(popen(command.c_str(), "r")) {}
    ~CommandOutput() {
        if (pipe)
            pclose(pipe);
    }
    bool next(std::vector<std::uint8_t>& block) {
        return pipe && std::fread(block.data(), 1, block.size(), pipe) == block.size();
    }

  private:
    FILE* pipe;
};

// Frames of a file as 8-bit RGB, at its own size, turned back into RGB by the matrix and range
// the file's own tags name, as a player would: a file without them decodes with the wrong colours.
std::string decodeFrames(const fs::path& file) {
    return "ffmpeg -v error -i '" + file.string() +
           "' -vsync passthrough -vf scale=flags=accurate_rnd+full_chroma_int,format=rgb24 "
           "-f rawvideo -pix_fmt rgb24 - 2>/dev/null";
}

// The colour tags of a file's video stream: "matrix,primaries,transfer,range".
std::string colourTagsOf(const fs::path& file) {
    fs::path probe = file.string() + ".tags";
    std::string command = "ffprobe -v error -select_streams v:0 -show_entries "
                          "stream=color_space,color_primaries,color_transfer,color_range -of "
                          "default=noprint_wrappers=1:nokey=1 '" +
                          file.string() + "' > '" + probe.string() + "'";
    if (std::system(command.c_str()) != 0)
        return "unreadable";
    std::string text = readFile(probe);
    fs::remove(probe);
    std::replace(text.begin(), text.end(), '\n', ',');
    if (!text.empty() && text.back() == ',')
        text.pop_back();
    return text;
}

// A frame `scale` times the show's size averaged back, each block of scale x scale pixels to one
// (rounded to nearest).
std::vector<std::uint8_t> averageDown(const std::vector<std::uint8_t>& big, int scale) {
    std::vector<std::uint8_t> small(showBytes);
    int bigWidth = showWidth * scale;
    for (int y = 0; y < showHeight; ++y)
        for (int x = 0; x < showWidth; ++x)
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int dy = 0; dy < scale; ++dy)
                    for (int dx = 0; dx < scale; ++dx)
                        sum += big[(std::size_t(y * scale + dy) * bigWidth + x * scale + dx) * 3 + c];
                small[(std::size_t(y) * showWidth + x) * 3 + c] = std::uint8_t((sum + scale * scale / 2) / (scale * scale));
            }
    return small;
}

double psnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    double squares = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        double difference = double(a[i]) - double(b[i]);
        squares += difference * difference;
    }
    if (squares == 0.0)
        return INFINITY;
    return 10.0 * std::log10(255.0 * 255.0 * double(a.size()) / squares);
}

struct Comparison {
    long frames = 0;
    double worstPsnr = INFINITY;
    long identical = 0;
};

// Every frame of `recording` (made at `scale`) against the PNG frames of the same run.
Comparison compareWithPngs(const fs::path& recording, const fs::path& pngDirectory, int scale) {
    CommandOutput recorded(decodeFrames(recording));
    CommandOutput exact("ffmpeg -v error -framerate 60 -i '" + (pngDirectory / "frame%06d.png").string() +
                        "' -f rawvideo -pix_fmt rgb24 - 2>/dev/null");
    std::vector<std::uint8_t> big(showBytes * scale * scale), reference(showBytes);
    Comparison comparison;
    while (recorded.next(big)) {
        if (!exact.next(reference)) {
            ADD_FAILURE() << recording << " has more frames than the PNG render";
            break;
        }
        std::vector<std::uint8_t> frame = averageDown(big, scale);
        double value = psnr(frame, reference);
        comparison.worstPsnr = std::min(comparison.worstPsnr, value);
        comparison.identical += frame == reference;
        ++comparison.frames;
    }
    return comparison;
}

// The codecs of a file's streams, "video audio".
std::string codecsOf(const fs::path& file) {
    fs::path probe = file.string() + ".probe";
    std::string command = "ffprobe -v error -show_entries stream=codec_name -of csv=p=0 '" + file.string() +
                          "' > '" + probe.string() + "'";
    if (std::system(command.c_str()) != 0)
        return "unreadable";
    std::string text = readFile(probe);
    std::replace(text.begin(), text.end(), '\n', ' ');
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

// The sound of a recording as 16-bit stereo samples, and that of the PNG render's WAV file.
std::string decodedSound(const fs::path& file) {
    fs::path raw = file.string() + ".pcm";
    std::string command = "ffmpeg -v error -y -i '" + file.string() + "' -f s16le -ac 2 -ar 44100 '" + raw.string() + "'";
    if (std::system(command.c_str()) != 0)
        return {};
    return readFile(raw);
}

// The fractal from order 29, two seconds, as PNG files and as recordings, each made once per
// process when a test first asks for it (CTest runs every test in a process of its own).
class FractalRecordings : public ::testing::Test {
  protected:
    static void TearDownTestSuite() { root.reset(); }

    void SetUp() override {
        if (!haveFfmpeg())
            GTEST_SKIP() << "no ffmpeg";
        if (!root) {
            root = std::make_unique<TemporaryDirectory>("recordings");
            linkFullShowData(root->path);
        }
    }

    // The file or folder `name` made by `velmora --start 29 --seconds 2 <output>`.
    static fs::path made(const std::string& name, const std::string& output) {
        fs::path path = root->path / name;
        if (!fs::exists(path)) {
            RunResult run = runVelmora("--start 29 --seconds 2 " + output, root->path);
            EXPECT_EQ(run.status, 0) << output << ": " << run.err;
        }
        return path;
    }
    static fs::path pngs() { return made("frames", "--png-dir frames"); }

    static std::unique_ptr<TemporaryDirectory> root;
};

std::unique_ptr<TemporaryDirectory> FractalRecordings::root;

// The names in `directory` that start with `prefix`.
std::vector<std::string> namesStartingWith(const fs::path& directory, const std::string& prefix) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory))
        if (entry.path().filename().string().rfind(prefix, 0) == 0)
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

double durationOf(const fs::path& file) {
    fs::path probe = file.string() + ".duration";
    std::string command = "ffprobe -v error -show_entries format=duration -of csv=p=0 '" + file.string() + "' > '" +
                          probe.string() + "'";
    if (std::system(command.c_str()) != 0)
        return -1.0;
    double seconds = std::atof(readFile(probe).c_str());
    fs::remove(probe);
    return seconds;
}

class InterruptedRecordings : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!haveFfmpeg())
            GTEST_SKIP() << "no ffmpeg";
        linkFullShowData(root.path);
    }

    // An `ffmpeg` in root/tools that runs `secondRun` (shell lines, the output in $output) in
    // place of every run after the first, which is the real ffmpeg's; the environment that puts
    // it first on the path.
    std::string fakeFfmpeg(const std::string& secondRun) {
        fs::path tools = root.path / "tools";
        fs::create_directories(tools);
        std::ofstream(tools / "ffmpeg") << "#!/bin/sh\n"
                                           "if [ -e \"$0.ran\" ]; then\n"
                                           "  for output; do :; done\n"
                                        << secondRun
                                        << "fi\n"
                                           "touch \"$0.ran\"\n"
                                           "PATH=\"$FFMPEG_PATH\" exec ffmpeg \"$@\"\n";
        fs::permissions(tools / "ffmpeg", fs::perms::owner_all);
        std::string path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
        return "FFMPEG_PATH='" + path + "' PATH='" + tools.string() + ":" + path + "'";
    }

    TemporaryDirectory root{"interrupted"};
};

} // namespace

TEST(RecordingFormat, ChosenByTheExtensionInAnyCase) {
    EXPECT_EQ(recordingFormatOf("a/show.mp4"), RecordingFormat::Mp4);
    EXPECT_EQ(recordingFormatOf("SHOW.MP4"), RecordingFormat::Mp4);
    EXPECT_EQ(recordingFormatOf("show.webm"), RecordingFormat::WebM);
    EXPECT_EQ(recordingFormatOf("show.Mkv"), RecordingFormat::Mkv);
    EXPECT_EQ(recordingFormatOf("show.avi"), std::nullopt);
    EXPECT_EQ(recordingFormatOf("mp4"), std::nullopt);
    EXPECT_EQ(recordingFormatOf("show.mp4.part"), std::nullopt);
}

TEST_F(FractalRecordings, Mp4KeepsEveryFrameAbove40Decibels) {
    Comparison comparison = compareWithPngs(made("out.mp4", "--record out.mp4"), pngs(), 2);
    EXPECT_EQ(comparison.frames, 120);
    EXPECT_GE(comparison.worstPsnr, 40.0);
    EXPECT_EQ(codecsOf(made("out.mp4", "")), "h264 aac");
    // ffprobe lists range, matrix, transfer, primaries in its own order.
    EXPECT_EQ(colourTagsOf(made("out.mp4", "")), "tv,bt709,bt709,bt709");
}

TEST_F(FractalRecordings, MkvIsLosslessInPictureAndSound) {
    Comparison comparison = compareWithPngs(made("out.mkv", "--record out.mkv"), pngs(), 2);
    EXPECT_EQ(comparison.frames, 120);
    EXPECT_EQ(comparison.identical, 120);
    EXPECT_EQ(codecsOf(made("out.mkv", "")), "ffv1 flac");

    std::string wav = readFile(pngs() / "audio.wav");
    ASSERT_GT(wav.size(), 44u);
    std::string recorded = decodedSound(made("out.mkv", ""));
    EXPECT_EQ(recorded.size(), wav.size() - 44);
    EXPECT_TRUE(recorded == wav.substr(44)) << "the FLAC sound differs from the render's";
}

TEST_F(FractalRecordings, WebmIsVp9AndOpus) {
    EXPECT_EQ(codecsOf(made("out.webm", "--record out.webm")), "vp9 opus");
    EXPECT_EQ(compareWithPngs(made("out.webm", ""), pngs(), 2).frames, 120);
}

// At an odd scale a colour sample of 4:2:0 video spans two show pixels, so colour bleeds a
// little; the picture still holds.
TEST_F(FractalRecordings, RecordScaleMultipliesTheFrame) {
    Comparison comparison = compareWithPngs(made("big.mp4", "--record big.mp4 --record-scale 3"), pngs(), 3);
    EXPECT_EQ(comparison.frames, 120);
    EXPECT_GE(comparison.worstPsnr, 35.0);
}

// Ctrl-C while recording closes the file with what was drawn, removes the temporary files and
// says how long the file is. The request comes twice at once, as `timeout` sends it to the
// process and to its group, and still counts as one.
TEST_F(InterruptedRecordings, OneInterruptKeepsAPlayableShortFile) {
    BackgroundRun run("--record x.mp4 --seconds 30", root.path);
    // The sound's file grows from the first frame on, past its 44-byte header.
    ASSERT_TRUE(waitForContent(root.path / "x.mp4.audio.wav", 44)) << run.err();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    run.signal(SIGINT);
    run.signal(SIGTERM);
    int status = run.wait();
    ASSERT_TRUE(WIFEXITED(status)) << run.err();
    EXPECT_EQ(WEXITSTATUS(status), 130);
    std::smatch said;
    std::string err = run.err();
    const std::regex line("velmora: interrupted; " + (root.path / "x.mp4").string() + " holds the first ([0-9.]+) s\n");
    ASSERT_TRUE(std::regex_match(err, said, line)) << err;
    double seconds = std::stod(said[1]);
    EXPECT_GT(seconds, 0.0);
    EXPECT_LT(seconds, 30.0);
    EXPECT_NEAR(durationOf(root.path / "x.mp4"), seconds, 0.1);
    EXPECT_EQ(namesStartingWith(root.path, "x.mp4"), std::vector<std::string>{"x.mp4"});
}

// A second signal stops at once and leaves nothing half written; an earlier file is untouched.
TEST_F(InterruptedRecordings, ASecondSignalRemovesEverythingBegun) {
    std::ofstream(root.path / "x.mp4") << "an earlier recording";
    // A slow final step, so that the second signal comes while the file is being finished.
    std::string slowMux = fakeFfmpeg("  sleep 20\n"
                                     "  exit 1\n");
    BackgroundRun run("--record x.mp4 --seconds 30", root.path, slowMux);
    ASSERT_TRUE(waitForContent(root.path / "x.mp4.audio.wav", 44)) << run.err();
    run.signal(SIGTERM);
    // Further apart than one request delivered twice (to the process and its group).
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    run.signal(SIGINT);
    int status = run.wait();
    EXPECT_TRUE(WIFSIGNALED(status)) << run.err();
    EXPECT_EQ(run.err(), "velmora: stopped at once; the unfinished files are removed\n");
    // The encoder is killed before the files go, but give the system a moment to reap it.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(namesStartingWith(root.path, "x.mp4"), std::vector<std::string>{"x.mp4"});
    EXPECT_EQ(readFile(root.path / "x.mp4"), "an earlier recording");
}

// A disk that fills while the output is written (here an ffmpeg that writes a few bytes of its
// output and fails, as a full disk makes it) leaves an earlier file of that name as it was.
TEST_F(InterruptedRecordings, AFailedRecordingKeepsTheEarlierFile) {
    std::string fullDisk = fakeFfmpeg("  printf 'ftypisom' > \"$output\"\n"
                                      "  echo 'No space left on device' >&2\n"
                                      "  exit 1\n");
    std::ofstream(root.path / "x.mp4") << "an earlier recording";
    RunResult run = runVelmora("--record x.mp4 --start 29 --seconds 0.5", root.path, fullDisk);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "No space left on device\nvelmora: ffmpeg failed to write " + (root.path / "x.mp4").string() +
                           "\n");
    EXPECT_EQ(readFile(root.path / "x.mp4"), "an earlier recording");
    EXPECT_EQ(namesStartingWith(root.path, "x.mp4"), std::vector<std::string>{"x.mp4"});
}

// An output that cannot be created is found before the first frame, not after the render.
TEST_F(InterruptedRecordings, AnOutputThatCannotBeCreatedIsRefusedAtOnce) {
    fs::create_directories(root.path / "folder.mp4");
    RunResult run = runVelmora("--record folder.mp4 --seconds 600", root.path);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "velmora: cannot record to " + (root.path / "folder.mp4").string() + ": it is a folder\n");
    run = runVelmora("--record nowhere/x.mp4 --seconds 600", root.path);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "velmora: cannot record to " + (root.path / "nowhere" / "x.mp4").string() +
                           ": No such file or directory\n");
    EXPECT_TRUE(namesStartingWith(root.path / "folder.mp4", "").empty());
}

// Ctrl-C during a frame dump finishes the frame in hand and the sound's header.
TEST_F(InterruptedRecordings, AnInterruptedFrameDumpKeepsWholeFilesOnly) {
    BackgroundRun run("--png-dir frames --seconds 30", root.path);
    ASSERT_TRUE(waitForContent(root.path / "frames" / "frame000010.png")) << run.err();
    run.signal(SIGTERM);
    int status = run.wait();
    ASSERT_TRUE(WIFEXITED(status)) << run.err();
    EXPECT_EQ(WEXITSTATUS(status), 143);
    std::vector<std::string> frames = namesStartingWith(root.path / "frames", "frame");
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back(), "frame" + std::string(6 - std::to_string(frames.size() - 1).size(), '0') +
                                 std::to_string(frames.size() - 1) + ".png");
    std::string last = readFile(root.path / "frames" / frames.back());
    ASSERT_GT(last.size(), 12u);
    EXPECT_EQ(last.substr(last.size() - 8, 4), "IEND") << frames.back() << " is cut short";
    std::string wav = readFile(root.path / "frames" / "audio.wav");
    ASSERT_GT(wav.size(), 44u);
    std::uint32_t stated = std::uint32_t(std::uint8_t(wav[40])) | std::uint32_t(std::uint8_t(wav[41])) << 8 |
                           std::uint32_t(std::uint8_t(wav[42])) << 16 | std::uint32_t(std::uint8_t(wav[43])) << 24;
    EXPECT_EQ(stated, wav.size() - 44);
    // Picture and sound end together: 735 stereo samples of 2 bytes per frame at 60 frames per second.
    EXPECT_EQ(stated, frames.size() * 735 * 4);
    char said[96];
    std::snprintf(said, sizeof said, " holds the first %.1f s\n", double(frames.size()) / 60);
    EXPECT_EQ(run.err(), "velmora: interrupted; " + (root.path / "frames").string() + said);
}
