#include "capture/VideoRecorder.h"

#include "platform/ptc/Error.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <csignal>
#include <cstdio>
#include <cstring>

extern char** environ;

pid_t startProgram(const std::vector<std::string>& arguments, int stdinFd) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdinFd != -1)
        posix_spawn_file_actions_adddup2(&actions, stdinFd, STDIN_FILENO);
    // Out of the terminal's foreground group: Ctrl-C is ours to handle, and the encoder must go
    // on taking frames until we close its input.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t process = -1;
    int failure = posix_spawnp(&process, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (failure != 0)
        throw ptc::DynamicError("cannot start " + arguments[0] + ": " + std::strerror(failure));
    return process;
}

bool waitForProgram(pid_t process) {
    int status = 0;
    while (waitpid(process, &status, 0) == -1)
        if (errno != EINTR)
            return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::optional<RecordingFormat> recordingFormatOf(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (extension == ".mp4")
        return RecordingFormat::Mp4;
    if (extension == ".webm")
        return RecordingFormat::WebM;
    if (extension == ".mkv")
        return RecordingFormat::Mkv;
    return std::nullopt;
}

EncoderArguments encoderArguments(RecordingFormat format, int scale) {
    // Whole-pixel scaling; the lossy formats convert to BT.709 limited range and say so.
    std::string size = "scale=iw*" + std::to_string(scale) + ":ih*" + std::to_string(scale) + ":flags=neighbor";
    std::string toYuv = size + ":out_color_matrix=bt709:out_range=tv,format=yuv420p";
    std::vector<std::string> bt709 = {"-colorspace", "bt709", "-color_primaries", "bt709", "-color_trc", "bt709",
                                      "-color_range", "tv"};
    EncoderArguments arguments;
    switch (format) {
    case RecordingFormat::Mp4:
        // A low constant rate factor, and colour quantised as finely as brightness (single
        // red points are all colour), keep the recording transparent; superfast keeps a pass
        // faster than real time on two cores.
        arguments.video = {"-vf", toYuv, "-c:v", "libx264", "-preset", "superfast", "-crf", "10",
                           "-x264-params", "chroma-qp-offset=-12"};
        arguments.video.insert(arguments.video.end(), bt709.begin(), bt709.end());
        arguments.audio = {"-c:a", "aac", "-b:a", "192k", "-movflags", "+faststart"};
        arguments.muxer = "mp4";
        break;
    case RecordingFormat::WebM:
        arguments.video = {"-vf", toYuv, "-c:v", "libvpx-vp9", "-crf", "18", "-b:v", "0", "-deadline", "realtime",
                           "-cpu-used", "8", "-row-mt", "1"};
        arguments.video.insert(arguments.video.end(), bt709.begin(), bt709.end());
        arguments.audio = {"-c:a", "libopus", "-b:a", "192k"};
        arguments.muxer = "webm";
        break;
    case RecordingFormat::Mkv:
        arguments.video = {"-vf", size, "-c:v", "ffv1", "-level", "3", "-slices", "4", "-pix_fmt", "bgr0"};
        arguments.audio = {"-c:a", "flac"};
        arguments.muxer = "matroska";
        break;
    }
    return arguments;
}

VideoRecorder::VideoRecorder(const std::string& output, int width, int height, int fps, int sampleRate, int scale)
    : outputPath(output), videoPath(output + ".video.mkv"), audioPath(output + ".audio.wav"),
      partialPath(output + ".partial"), unfinishedVideo(videoPath), unfinishedAudio(audioPath),
      unfinishedOutput(partialPath), frameWidth(width), frameHeight(height) {
    std::optional<RecordingFormat> format = recordingFormatOf(output);
    if (!format)
        throw ptc::DynamicError("cannot record to " + output + ": use a .mp4, .webm or .mkv file");
    if (scale < 1 || scale > 8)
        throw ptc::DynamicError("the recording scale must be 1 to 8");
    formatArguments = encoderArguments(*format, scale);
    checkOutputCanBeCreated();
    // A dead encoder must show up as a failed write, not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    audio = std::make_unique<WavWriter>(audioPath, sampleRate);

    int ends[2];
    // Close-on-exec, so the encoder does not hold its own pipe open and wait for itself.
    if (pipe2(ends, O_CLOEXEC) != 0)
        throw ptc::DynamicError(std::string("cannot make a pipe for ffmpeg: ") + std::strerror(errno));
    std::string size = std::to_string(width) + "x" + std::to_string(height);
    try {
        // 0x00RRGGBB in memory is the bytes B, G, R, 0.
        std::vector<std::string> command = {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
                                            "-f", "rawvideo", "-pix_fmt", "bgr0", "-s", size,
                                            "-r", std::to_string(fps), "-i", "pipe:0"};
        command.insert(command.end(), formatArguments.video.begin(), formatArguments.video.end());
        command.push_back(videoPath);
        encoder = startProgram(command, ends[0]);
        unfinishedEncoder = std::make_unique<UnfinishedProcess>(encoder);
    } catch (...) {
        close(ends[0]);
        close(ends[1]);
        std::remove(audioPath.c_str());
        std::remove(partialPath.c_str());
        throw;
    }
    close(ends[0]);
    pipeInput = ends[1];
}

VideoRecorder::~VideoRecorder() {
    try {
        stopEncoder();
    } catch (const ptc::DynamicError&) {
        // Already failing: the error that brought us here is the one reported.
    }
    std::remove(videoPath.c_str());
    std::remove(audioPath.c_str());
    std::remove(partialPath.c_str());
}

// Found now rather than after the whole render: the temporary output is created (and kept for
// ffmpeg) in the output's folder, where the rename needs it.
void VideoRecorder::checkOutputCanBeCreated() const {
    std::error_code ignored;
    if (std::filesystem::is_directory(outputPath, ignored))
        throw ptc::DynamicError("cannot record to " + outputPath + ": it is a folder");
    int file = open(partialPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (file == -1)
        throw ptc::DynamicError("cannot record to " + outputPath + ": " + std::strerror(errno));
    close(file);
}

void VideoRecorder::stopEncoder() {
    if (pipeInput != -1) {
        close(pipeInput);
        pipeInput = -1;
    }
    if (encoder != -1) {
        bool succeeded = waitForProgram(encoder);
        encoder = -1;
        unfinishedEncoder.reset();
        if (!succeeded)
            throw ptc::DynamicError("ffmpeg failed to encode " + outputPath);
    }
}

void VideoRecorder::addFrame(const std::uint32_t* pixels, int width, int height) {
    if (width != frameWidth || height != frameHeight)
        throw ptc::DynamicError("recorded frames must keep one size");
    const char* bytes = reinterpret_cast<const char*>(pixels);
    std::size_t remaining = std::size_t(width) * height * 4;
    while (remaining > 0) {
        ssize_t written = write(pipeInput, bytes, remaining);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            throw ptc::DynamicError(std::string("ffmpeg stopped taking frames: ") + std::strerror(errno));
        bytes += written;
        remaining -= static_cast<std::size_t>(written);
    }
    ++framesAdded;
}

void VideoRecorder::addAudio(const std::int16_t* samples, std::size_t count) {
    audio->append(samples, count);
}

void VideoRecorder::finish() {
    if (framesAdded == 0) {
        // An empty video does not mux; the destructor removes what was begun.
        try {
            stopEncoder();
        } catch (const ptc::DynamicError&) {
        }
        return;
    }
    stopEncoder();
    audio->finish();
    std::vector<std::string> command = {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
                                        "-i", videoPath, "-i", audioPath, "-c:v", "copy"};
    command.insert(command.end(), formatArguments.audio.begin(), formatArguments.audio.end());
    command.insert(command.end(), {"-f", formatArguments.muxer, partialPath});
    pid_t muxer = startProgram(command, -1);
    bool muxed = false;
    {
        UnfinishedProcess unfinishedMuxer(muxer);
        muxed = waitForProgram(muxer);
    }
    if (!muxed)
        throw ptc::DynamicError("ffmpeg failed to write " + outputPath);
    if (std::rename(partialPath.c_str(), outputPath.c_str()) != 0)
        throw ptc::DynamicError("cannot write " + outputPath + ": " + std::strerror(errno));
}
