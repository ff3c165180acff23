// Recordings keep the show's pixels: the fractal's single points survive H.264 at the default
// scale, and the lossless file decodes to exactly the frames and the sound of an offline render.
#include "ShowTestSupport.h"
#include "capture/VideoRecorder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>

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

// Frames of a file as 8-bit RGB, at its own size. Limited-range BT.709 video is turned back into
// RGB with the matrix it was made with.
std::string decodeFrames(const fs::path& file) {
    return "ffmpeg -v error -i '" + file.string() +
           "' -vsync passthrough -vf scale=in_color_matrix=bt709:in_range=tv:flags=accurate_rnd+full_chroma_int,format=rgb24 "
           "-f rawvideo -pix_fmt rgb24 - 2>/dev/null";
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
