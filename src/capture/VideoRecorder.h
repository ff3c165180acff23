#pragma once
// Records the show with ffmpeg run as a child process, in the format the file's extension names:
//   .mp4   H.264 in yuv420p (every player takes it) and AAC at 192 kbit/s
//   .webm  VP9 in yuv420p and Opus at 192 kbit/s
//   .mkv   FFV1 in RGB and FLAC: lossless, it decodes to exactly the frames and the samples
// Frames are scaled up by a whole factor first, each show pixel becoming a square of pixels: at
// 2, 4:2:0 video keeps one colour sample per show pixel, so single bright points keep their
// colour. Frames go to the first ffmpeg on a pipe as they are drawn, encoded into a temporary
// video file; the sound is written to a temporary WAV file; `finish` muxes the two into the
// output. Feeding the sound on a second pipe from the same thread could block both pipes for
// good.
// The output is written under a temporary name beside it (FILE.partial) and renamed into place
// only when complete, so a failed recording leaves an earlier file of that name as it was. The
// encoders run in their own process group: a Ctrl-C at the terminal reaches velmora alone, which
// then closes the recording itself.

#include "capture/WavWriter.h"
#include "capture/UnfinishedWork.h"

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

enum class RecordingFormat { Mp4, WebM, Mkv };

// The format of a file name's extension (any case), or nothing for another extension.
std::optional<RecordingFormat> recordingFormatOf(const std::string& path);

// The ffmpeg arguments that encode the video (after the raw input) and, when muxing, the sound.
struct EncoderArguments {
    std::vector<std::string> video;
    std::vector<std::string> audio;
    std::string muxer;
};
EncoderArguments encoderArguments(RecordingFormat format, int scale);

class VideoRecorder {
public:
    // Starts ffmpeg for width x height frames at `fps`, scaled by `scale` (1 to 8) in the file.
    // DynamicError when the extension names no format, the output cannot be created (a folder of
    // that name, a missing or read-only folder) or ffmpeg cannot start.
    VideoRecorder(const std::string& outputPath, int width, int height, int fps, int sampleRate, int scale = 2);
    ~VideoRecorder();
    VideoRecorder(const VideoRecorder&) = delete;
    VideoRecorder& operator=(const VideoRecorder&) = delete;

    void addFrame(const std::uint32_t* pixels, int width, int height);
    void addAudio(const std::int16_t* samples, std::size_t count);
    // Closes the video, muxes video and sound into the output and removes the temporary files.
    // Without a single frame added nothing is written.
    void finish();

    long frameCount() const { return framesAdded; }

private:
    void stopEncoder();
    void checkOutputCanBeCreated() const;

    std::string outputPath;
    std::string videoPath;
    std::string audioPath;
    std::string partialPath;
    UnfinishedFile unfinishedVideo;
    UnfinishedFile unfinishedAudio;
    UnfinishedFile unfinishedOutput;
    int frameWidth;
    int frameHeight;
    EncoderArguments formatArguments;
    std::unique_ptr<WavWriter> audio;
    pid_t encoder = -1;
    std::unique_ptr<UnfinishedProcess> unfinishedEncoder;
    int pipeInput = -1;
    long framesAdded = 0;
};

// Starts a program (found on PATH) with `arguments`, in a process group of its own; its standard
// input is `stdinFd` when not -1. DynamicError when it cannot be started. `waitForProgram` waits
// for it: true when it exits with 0.
pid_t startProgram(const std::vector<std::string>& arguments, int stdinFd);
bool waitForProgram(pid_t process);
