#include "app/ShowMusicRecording.h"

#include "driver/ShowMusic.h"
#include "platform/bass/TimelineRecorder.h"
#include "platform/ptc/Error.h"

#include <fstream>
#include <iterator>

RecordedMusic recordShowMusic(const std::vector<TimelineRegistration>& cues, int fps) {
    const std::string path = showModulePath();
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw ptc::DynamicError("cannot read music module " + path);
    std::vector<std::uint8_t> module{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};

    RecordedMusic run;
    TimelineRequest request;
    request.module = &module;
    request.registrations = cues;
    request.rate = ShowDriver::sampleRate;
    request.fps = fps;
    request.mixerVolume = showMixerVolume();
    request.orderStarts = &run.orderStarts;
    run.timeline = recordTimeline(request);
    return run;
}
