// Loads arbitrary bytes as a module and, when they load, plays a few seconds of them with every
// kind of sync registered, reading the level as it goes.

#include "platform/bass/MusicPlayer.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

void ignoreSync(HSYNC, uint32_t, uint32_t, uint32_t) {}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MusicPlayer player;
    std::string error;
    if (!player.loadMemory(data, size, error))
        return 0;
    player.addSync({1, BASS_SYNC_POS, 0, ignoreSync, 0});
    player.addSync({2, BASS_SYNC_POS, 1u | 3u << 16, ignoreSync, 0});
    for (uint32_t instrument = 1; instrument <= 4; ++instrument)
        player.addSync({2 + instrument, BASS_SYNC_INST, instrument | 0xFFFFu << 16, ignoreSync, 0});
    if (!player.start(44100, size > 0 ? data[0] % 4 : 0, error))
        return 0;
    std::vector<ReachedSync> reached;
    std::vector<int16_t> out(4096 * 2);
    for (int chunk = 0; chunk < 40; ++chunk) {
        player.read(out.data(), 4096, reached);
        player.level(player.readFrames(), 882);
    }
    return 0;
}
