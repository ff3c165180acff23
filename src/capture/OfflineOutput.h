#pragma once
// Where an offline run's frames and sound go: a video through ffmpeg, or numbered PNG files (all
// of them, or only the snapshot frames) with the sound as audio.wav beside them, or nowhere.
// Frames presented while loading (before the first beginFrame) are not part of the render.

#include "platform/ptc/HeadlessBackend.h"

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

class VideoRecorder;
class WavWriter;

struct OfflineOutputSettings {
    // At most one of the two; neither discards the frames and the sound.
    std::string recordFile;
    std::string pngDirectory;
    // With pngDirectory: only these frames of the show are written; empty for every frame.
    std::set<long> snapshotFrames;
    int fps = 60;
    int sampleRate = 44100;
    // With recordFile: frames are scaled up by this whole factor before encoding.
    int recordScale = 2;
};

class OfflineOutput {
public:
    // Starts the recorder or creates the PNG directory; DynamicError when that fails.
    OfflineOutput(const OfflineOutputSettings& settings, int width, int height);
    ~OfflineOutput();
    OfflineOutput(const OfflineOutput&) = delete;
    OfflineOutput& operator=(const OfflineOutput&) = delete;

    // The console's sink: takes every frame presented.
    ptc::FrameSink sink();

    // The render starts with the show's frame `first` (a jump): PNG files are numbered from it.
    void startAt(long first) { firstFrame = first; }

    // The frames presented from now on are the show's frame `number`.
    void beginFrame(long number) { frame = number; }

    // Interleaved 16-bit stereo, the sound up to the next frame.
    void addAudio(const std::vector<std::int16_t>& samples);

    // Closes the files (the video is muxed with its sound).
    void finish();

private:
    void take(const std::uint32_t* pixels, int width, int height);

    long frame = -1;
    long firstFrame = 0;
    std::unique_ptr<VideoRecorder> recorder;
    std::unique_ptr<WavWriter> sound;
    std::string pngDirectory;
    std::set<long> snapshotFrames;
};
