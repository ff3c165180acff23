// velmora-webprep: writes the data/ folder of the web build's site from Data/.
//   velmora-webprep --data DIR --out SITE [--fps N]
// data/<picture>.png and pictures.txt, timeline.bin, the music twice (through ffmpeg: music.opus,
// then music.m4a) and files.json, the list the page downloads with each file's size (for its
// loading gauge). The page takes the first music file that its browser decodes.

#include "capture/VideoRecorder.h"
#include "capture/WavWriter.h"
#include "driver/ShowMusic.h"
#include "platform/ptc/Error.h"
#include "webprep/WebPrep.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

void writeBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out.flush())
        throw ptc::DynamicError("cannot write " + path.string());
}

// The encodings of the music, in the page's order of preference, all at 48 kHz. Opus in Ogg is
// the smaller; AAC in MP4 is what older engines decode that lack Opus in Ogg (128 kbit/s keeps
// the whole site within 40 MB). ffmpeg's MP4 carries an edit list, so that the encoder's
// priming samples are cut on decoding.
struct MusicEncoding {
    const char* file;
    std::vector<std::string> codec;
};
const MusicEncoding musicEncodings[] = {
    {"music.opus", {"-c:a", "libopus", "-b:a", "96k"}},
    {"music.m4a", {"-c:a", "aac", "-b:a", "128k", "-movflags", "+faststart"}},
};

// ffmpeg runs as a child process, started as the recorder starts its encoders.
void encodeMusic(const fs::path& wav, const fs::path& out, const std::vector<std::string>& codec) {
    std::vector<std::string> arguments = {"ffmpeg", "-loglevel", "error", "-y", "-i", wav.string()};
    arguments.insert(arguments.end(), codec.begin(), codec.end());
    arguments.insert(arguments.end(), {"-ar", "48000", out.string()});
    if (!waitForProgram(startProgram(arguments, -1)))
        throw ptc::DynamicError("ffmpeg could not encode " + out.string());
}

void run(const std::string& data, const std::string& site, int fps) {
    fs::path out = fs::path(site) / "data";
    std::vector<PreparedFile> files = preparePictures(data, site);

    PreparedMusic music = prepareMusic(showModulePath(data), fps);
    writeBytes(out / "timeline.bin", music.timeline.serialise());
    files.push_back({"timeline.bin", "timeline", "", fs::file_size(out / "timeline.bin")});
    fs::path wav = out / "music.wav";
    {
        WavWriter writer(wav.string(), int(music.timeline.rate));
        writer.append(music.samples.data(), music.samples.size());
        writer.finish();
    }
    for (const MusicEncoding& encoding : musicEncodings) {
        encodeMusic(wav, out / encoding.file, encoding.codec);
        files.push_back({encoding.file, "music", "", fs::file_size(out / encoding.file)});
    }
    fs::remove(wav);

    std::ofstream list(out / "files.json");
    list << "[\n";
    for (std::size_t i = 0; i < files.size(); ++i) {
        const PreparedFile& f = files[i];
        list << "  {\"url\": \"data/" << f.name << "\", \"kind\": \"" << f.kind << "\", \"name\": \"" << f.source
             << "\", \"bytes\": " << f.bytes << "}" << (i + 1 < files.size() ? ",\n" : "\n");
    }
    list << "]\n";
    if (!list.flush())
        throw ptc::DynamicError("cannot write files.json");
    const MusicTimeline& t = music.timeline;
    std::cout << "velmora-webprep: " << files.size() << " files; first pass " << double(t.loopStart) / t.rate
              << " s, loop " << double(t.loopFrames) / t.rate << " s, " << t.syncs.size() << " syncs, "
              << t.levels.size() << " levels\n";
}

} // namespace

int main(int argc, char** argv) {
    std::string data = "Data", site;
    int fps = 60;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (i + 1 < argc && arg == "--data")
            data = argv[++i];
        else if (i + 1 < argc && arg == "--out")
            site = argv[++i];
        else if (i + 1 < argc && arg == "--fps")
            fps = std::atoi(argv[++i]);
        else {
            std::cerr << "usage: velmora-webprep --data DIR --out SITE [--fps N]\n";
            return 2;
        }
    }
    if (site.empty() || fps < 1 || fps > 1000) {
        std::cerr << "usage: velmora-webprep --data DIR --out SITE [--fps N]\n";
        return 2;
    }
    try {
        run(data, site, fps);
    } catch (const std::exception& error) {
        std::cerr << "velmora-webprep: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
