#include "capture/OfflineOutput.h"

#include "capture/PngWriter.h"
#include "capture/VideoRecorder.h"
#include "capture/WavWriter.h"
#include "platform/ptc/Error.h"

#include <cstdio>
#include <filesystem>

OfflineOutput::OfflineOutput(const OfflineOutputSettings& settings, int width, int height)
    : pngDirectory(settings.pngDirectory), snapshotFrames(settings.snapshotFrames) {
    namespace fs = std::filesystem;
    if (!settings.recordFile.empty()) {
        recorder = std::make_unique<VideoRecorder>(settings.recordFile, width, height, settings.fps,
                                                   settings.sampleRate, settings.recordScale);
    } else if (!pngDirectory.empty()) {
        std::error_code error;
        fs::create_directories(pngDirectory, error);
        if (!fs::is_directory(pngDirectory))
            throw ptc::DynamicError("cannot create directory " + pngDirectory);
        sound = std::make_unique<WavWriter>((fs::path(pngDirectory) / "audio.wav").string(), settings.sampleRate);
    }
}

OfflineOutput::~OfflineOutput() = default;

ptc::FrameSink OfflineOutput::sink() {
    return [this](const std::uint32_t* pixels, int width, int height) { take(pixels, width, height); };
}

void OfflineOutput::addAudio(const std::vector<std::int16_t>& samples) {
    if (recorder)
        recorder->addAudio(samples.data(), samples.size());
    if (sound)
        sound->append(samples.data(), samples.size());
}

void OfflineOutput::finish() {
    if (recorder)
        recorder->finish();
    if (sound)
        sound->finish();
}

void OfflineOutput::take(const std::uint32_t* pixels, int width, int height) {
    if (frame < firstFrame)
        return;
    if (recorder)
        recorder->addFrame(pixels, width, height);
    if (pngDirectory.empty())
        return;
    if (!snapshotFrames.empty() && snapshotFrames.count(frame) == 0)
        return;
    char name[32];
    std::snprintf(name, sizeof name, "frame%06ld.png", frame - firstFrame);
    ptc::writePng((std::filesystem::path(pngDirectory) / name).string(), pixels, width, height);
}
