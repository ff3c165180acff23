#include "driver/ShowMusic.h"

#include "platform/bass/MusicPlayer.h"
#include "platform/ptc/Error.h"

namespace {

constexpr const char* moduleName = "atbia3.xm";
// Full volume; the load flags the show passes (the player accepts them and always loops);
// amplification 75, half again unity gain; the position scaler the show asks for, which this
// player accepts and does not use.
constexpr uint32_t volume = 100;
constexpr uint32_t loadFlags = 261;
constexpr uint32_t amplify = 75;
constexpr uint32_t positionScaler = 256;

} // namespace

std::string showModulePath(const std::string& dataDirectory) {
    return dataDirectory + "/" + moduleName;
}

HMUSIC openShowMusic(const std::string& path) {
    BASS_SetVolume(volume);
    HMUSIC music = BASS_MusicLoad(false, path.c_str(), 0, 0, loadFlags);
    if (music == 0)
        throw ptc::DynamicError("cannot load music module " + path + ": " + BASS_GetErrorText());
    BASS_MusicSetAmplify(music, amplify);
    BASS_MusicSetPositionScaler(music, positionScaler);
    return music;
}

int showMixerVolume() {
    return mixerVolume(int(volume), int(amplify));
}
