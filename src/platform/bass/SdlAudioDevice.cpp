#include "platform/bass/AudioDevice.h"

#include <SDL.h>

namespace {

class SdlAudioDevice final : public AudioDevice {
  public:
    ~SdlAudioDevice() override { close(); }

    int open(int rate, int framesPerFill, Fill fillFrames, std::string& error) override {
        close();
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            error = SDL_GetError();
            return 0;
        }
        fill = std::move(fillFrames);
        SDL_AudioSpec wanted{};
        wanted.freq = rate;
        wanted.format = AUDIO_S16SYS;
        wanted.channels = 2;
        wanted.samples = Uint16(framesPerFill);
        wanted.callback = callback;
        wanted.userdata = this;
        SDL_AudioSpec obtained{};
        device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
        if (device == 0) {
            error = SDL_GetError();
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return 0;
        }
        return obtained.samples > 0 ? obtained.samples : framesPerFill;
    }

    void resume() override {
        if (device != 0)
            SDL_PauseAudioDevice(device, 0);
    }

    // SDL marks a disconnected device stopped (it is paused or playing otherwise).
    bool lost() override { return device != 0 && SDL_GetAudioDeviceStatus(device) == SDL_AUDIO_STOPPED; }

    void close() override {
        if (device == 0)
            return;
        SDL_CloseAudioDevice(device);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        device = 0;
    }

  private:
    static void callback(void* self, Uint8* stream, int bytes) {
        static_cast<SdlAudioDevice*>(self)->fill(reinterpret_cast<int16_t*>(stream), size_t(bytes) / 4);
    }

    SDL_AudioDeviceID device = 0;
    Fill fill;
};

} // namespace

std::unique_ptr<AudioDevice> makeSdlAudioDevice() {
    return std::make_unique<SdlAudioDevice>();
}
