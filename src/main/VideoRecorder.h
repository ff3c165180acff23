#pragma once
// Records the show to an mp4 file (H.264 in yuv420p, AAC) with ffmpeg run as a child process.
// Frames go to the first ffmpeg on a pipe as they are drawn, encoded into a temporary video
// file; the sound is written to a temporary WAV file; `finish` muxes the two into the output.
// Feeding the sound on a second pipe from the same thread could block both pipes for good.

#include "main/WavWriter.h"

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class VideoRecorder {
public:
    // Starts ffmpeg for width x height frames at `fps`. DynamicError when ffmpeg cannot start.
    VideoRecorder(const std::string& outputPath, int width, int height, int fps, int sampleRate);
    ~VideoRecorder();
    VideoRecorder(const VideoRecorder&) = delete;
    VideoRecorder& operator=(const VideoRecorder&) = delete;

    void addFrame(const std::uint32_t* pixels, int width, int height);
    void addAudio(const std::int16_t* samples, std::size_t count);
    // Closes the video, muxes video and sound into the output and removes the temporary files.
    void finish();

private:
    void stopEncoder();

    std::string outputPath;
    std::string videoPath;
    std::string audioPath;
    int frameWidth;
    int frameHeight;
    std::unique_ptr<WavWriter> audio;
    pid_t encoder = -1;
    int pipeInput = -1;
};

// Runs a program (found on PATH) with `arguments` and waits for it; true when it exits with 0.
// Its standard input is `stdinFd` when not -1. DynamicError when it cannot be started.
pid_t startProgram(const std::vector<std::string>& arguments, int stdinFd);
bool waitForProgram(pid_t process);
