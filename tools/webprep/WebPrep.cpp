#include "webprep/WebPrep.h"

#include "capture/PixelHash.h"
#include "capture/PngWriter.h"
#include "core/Bitmap.h"
#include "driver/CueDispatch.h"
#include "driver/ShowDriver.h"
#include "driver/ShowMusic.h"
#include "image/JpegCodec.h"
#include "image/JpegMessagesAsErrors.h"
#include "image/PictureLoading.h"
#include "platform/bass/Bass.h"
#include "platform/ptc/Error.h"
#include "show/CueScript.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

namespace fs = std::filesystem;

namespace {

constexpr int sampleRate = ShowDriver::sampleRate;

std::vector<std::uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw ptc::DynamicError("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The syncs the player runs, with the stream frame each is stamped with. The offline clock is
// stepped one audio frame at a time, so a sync runs exactly at its stamp.
struct SyncLog {
    std::vector<TimelineSync> syncs;
    std::uint64_t frame = 0;
};
SyncLog* activeLog = nullptr;

void recordSync(HSYNC handle, std::uint32_t, std::uint32_t data, std::uint32_t) {
    if (activeLog != nullptr)
        activeLog->syncs.push_back({activeLog->frame, handle, data});
}

// The show's cues, registered with the player as the show's driver registers them (same order,
// same types and parameters, so the player hands out the same handles), each reporting to the log.
class RecordingRegistry : public CueRegistry {
public:
    RecordingRegistry(HMUSIC music, std::vector<TimelineRegistration>& registrations)
        : music(music), registrations(registrations) {}

    void add(MusicCue cue) override {
        std::uint32_t type = CueDispatch::syncType(cue), parameter = CueDispatch::syncParameter(cue);
        HSYNC handle = BASS_ChannelSetSync(music, type, parameter, recordSync, 0);
        if (handle == 0)
            throw ptc::DynamicError("cannot register " + CueDispatch::eventText(cue) + ": " + BASS_GetErrorText());
        registrations.push_back({handle, type, parameter});
    }

private:
    HMUSIC music;
    std::vector<TimelineRegistration>& registrations;
};

} // namespace

std::vector<PreparedFile> preparePictures(const std::string& dataDirectory, const std::string& siteDirectory) {
    JpegMessagesAsErrors jpegMessages;
    fs::path out = fs::path(siteDirectory) / "data";
    fs::create_directories(out);
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(dataDirectory)) {
        std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && entry.path().extension() != ".xm")
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    std::vector<PreparedFile> files;
    std::ofstream hashes(out / "pictures.txt");
    for (const std::string& name : names) {
        std::string path = (fs::path(dataDirectory) / name).string();
        std::unique_ptr<Bitmap> bitmap;
        try {
            bitmap.reset(loadBitmap(path.c_str()));
        } catch (const ptc::DynamicError& error) {
            throw ptc::DynamicError(path + ": " + error.what());
        }
        std::size_t count = std::size_t(bitmap->width) * std::size_t(bitmap->height);
        // The loaders give 0x00RRGGBB, so the PNG's RGB holds every bit; the hash checks it.
        std::string png = name + ".png";
        ptc::writePng((out / png).string(), bitmap->pixels, bitmap->width, bitmap->height);
        hashes << name << ' ' << hashText(pixelHash(bitmap->pixels, count, 0xFFFFFFFF)) << '\n';
        files.push_back({png, "picture", name, fs::file_size(out / png)});
        delete[] bitmap->pixels;
    }
    if (!hashes.flush())
        throw ptc::DynamicError("cannot write " + (out / "pictures.txt").string());
    files.push_back({"pictures.txt", "hashes", "", fs::file_size(out / "pictures.txt")});
    return files;
}

int xmRestartOrder(const std::vector<std::uint8_t>& module) {
    // "Extended Module: " (17), name (20), 0x1A, tracker (20), version (2), header size (4),
    // song length (2), restart position (2).
    static const char id[] = "Extended Module: ";
    if (module.size() < 80 || !std::equal(id, id + 17, module.begin()))
        throw ptc::DynamicError("not an XM module");
    int length = module[64] | module[65] << 8;
    int restart = module[66] | module[67] << 8;
    return restart < length ? restart : 0;
}

PreparedMusic prepareMusic(const std::string& modulePath, int fps) {
    std::vector<std::uint8_t> module = readFile(modulePath);
    int restart = xmRestartOrder(module);

    PreparedMusic result;
    MusicTimeline& timeline = result.timeline;
    timeline.rate = sampleRate;
    timeline.fps = std::uint32_t(fps);

    // The driver's calls, in the driver's order.
    BASS_SetOutput(BassOutput::Offline);
    if (!BASS_Init(-1, sampleRate, 0, nullptr) || !BASS_Start())
        throw ptc::DynamicError("cannot start the player: " + BASS_GetErrorText());
    struct Release {
        ~Release() { BASS_Free(); }
    } release;
    HSYNC loopMark = 0;
    HMUSIC music = openShowMusic(modulePath, [&](HMUSIC opened) {
        RecordingRegistry registry(opened, timeline.registrations);
        registerCues(registry);
        // One more sync, after the show's (their handles stay as the show's): the start of the loop
        // section, reached once in the first pass when it is not order 0 and once per turn after.
        loopMark = BASS_ChannelSetSync(opened, BASS_SYNC_POS, std::uint32_t(restart), recordSync, 0);
    });
    if (!BASS_MusicPlay(music))
        throw ptc::DynamicError("cannot play " + modulePath + ": " + BASS_GetErrorText());

    double passSeconds = BASS_MusicGetPassSeconds(music);
    // The first pass ends at the loop mark nearest to where the loader says the pass ends.
    std::uint64_t passEstimate = std::uint64_t(std::llround(std::max(passSeconds, 0.0) * sampleRate));
    std::uint64_t limit = passEstimate * 3 + std::uint64_t(60) * sampleRate;

    SyncLog log;
    activeLog = &log;
    std::vector<std::uint64_t> marks;
    std::uint64_t passEnd = 0, loopEnd = 0;
    long nextLevelFrame = 0;
    for (std::uint64_t frame = 0; loopEnd == 0; ++frame) {
        if (frame > limit)
            throw ptc::DynamicError(modulePath + ": the loop section's end was not found");
        double seconds = double(frame) / sampleRate;
        log.frame = frame;
        BASS_RenderOffline(seconds, result.samples);
        std::size_t before = log.syncs.size();
        BASS_RunSyncs(seconds);
        for (std::size_t i = before; i < log.syncs.size(); ++i) {
            if (log.syncs[i].handle != loopMark)
                continue;
            if (passEnd == 0 && frame > 0 && frame + sampleRate / 2 >= passEstimate)
                passEnd = frame;
            else if (passEnd != 0 && frame > passEnd)
                loopEnd = frame;
        }
        // The level each frame of the show sees: the 20 ms that end at k / fps.
        while (std::llround(double(nextLevelFrame) / fps * sampleRate) <= std::int64_t(frame) && loopEnd == 0) {
            timeline.levels.push_back(BASS_ChannelGetLevelAt(music, double(nextLevelFrame) / fps));
            ++nextLevelFrame;
        }
    }
    activeLog = nullptr;
    // Frame k's level needs the 20 ms before it only; the loop's last frames are kept as well.
    timeline.loopStart = passEnd;
    timeline.loopFrames = loopEnd - passEnd;
    for (const TimelineSync& sync : log.syncs)
        if (sync.handle != loopMark && sync.frame < loopEnd)
            timeline.syncs.push_back(sync);
    result.samples.resize(std::size_t(loopEnd) * 2);
    return result;
}
