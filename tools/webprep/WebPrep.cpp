#include "webprep/WebPrep.h"

#include "capture/PixelHash.h"
#include "capture/PngWriter.h"
#include "core/Bitmap.h"
#include "driver/CueDispatch.h"
#include "driver/ShowDriver.h"
#include "image/JpegMessagesAsErrors.h"
#include "image/PictureLoading.h"
#include "driver/ShowMusic.h"
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

PreparedMusic prepareMusic(const std::string& modulePath, int fps) {
    std::vector<std::uint8_t> module = readFile(modulePath);
    CueDispatch cues(nullptr);
    registerCues(cues);
    PreparedMusic result;
    TimelineRequest request;
    request.module = &module;
    request.registrations = cues.registrations();
    request.rate = sampleRate;
    request.fps = fps;
    request.mixerVolume = showMixerVolume();
    request.samples = &result.samples;
    try {
        result.timeline = recordTimeline(request);
    } catch (const ptc::DynamicError& error) {
        throw ptc::DynamicError(modulePath + ": " + error.what());
    }
    return result;
}
