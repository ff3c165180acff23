#include "driver/CueDispatch.h"

#include "core/ShowObjects.h"
#include "driver/FrameStats.h"
#include "platform/ptc/Error.h"
#include "show/LayerNames.h"
#include "timeline/LayerList.h"

#include <ostream>

namespace {

// The one dispatcher the player's plain-function callback reaches.
CueDispatch* activeDispatch = nullptr;

} // namespace

CueDispatch::CueDispatch(HMUSIC music, std::ostream* trace) : music(music), trace(trace) {
    activeDispatch = this;
}

CueDispatch::~CueDispatch() {
    if (activeDispatch == this)
        activeDispatch = nullptr;
}

void CueDispatch::add(MusicCue cue) {
    std::uint32_t user = static_cast<std::uint32_t>(cues.size());
    std::uint32_t type = syncType(cue);
    std::uint32_t parameter = syncParameter(cue);
    cues.push_back(std::move(cue));
    if (BASS_ChannelSetSync(music, type, parameter, &CueDispatch::runSync, user) == 0)
        throw ptc::DynamicError("cannot register " + eventText(cues.back()) + ": " + BASS_GetErrorText());
}

std::uint32_t CueDispatch::syncType(const MusicCue& cue) {
    return cue.kind == MusicCue::Kind::Position ? BASS_SYNC_POS : BASS_SYNC_INST;
}

// Position: order in the low 16 bits, row in the high; instrument: any note (0xFFFF) high.
std::uint32_t CueDispatch::syncParameter(const MusicCue& cue) {
    return cue.kind == MusicCue::Kind::Position
               ? static_cast<std::uint32_t>(cue.order) | static_cast<std::uint32_t>(cue.row) << 16
               : static_cast<std::uint32_t>(cue.instrument) | 0xFFFFu << 16;
}

void CueDispatch::runPositionCuesBefore(int order, const std::function<void()>& afterEach) {
    for (const MusicCue& cue : cues) {
        if (cue.kind != MusicCue::Kind::Position || cue.order >= order)
            continue;
        run(cue);
        if (afterEach)
            afterEach();
    }
}

void CueDispatch::runSync(HSYNC, std::uint32_t, std::uint32_t, std::uint32_t user) {
    if (activeDispatch != nullptr && user < activeDispatch->cues.size())
        activeDispatch->run(activeDispatch->cues[user]);
}

void CueDispatch::run(const MusicCue& cue) {
    std::vector<StackSlot> stackBefore;
    if (observer && layerList != nullptr)
        stackBefore = stackSlots(*layerList);
    if (cue.action)
        cue.action();
    if (observer)
        observer(cue, stackBefore);
    if (trace != nullptr && layerList != nullptr)
        *trace << eventText(cue) << " | " << describeStack(*layerList) << "\n" << std::flush;
}

std::string CueDispatch::eventText(const MusicCue& cue) {
    std::string text = "cue " + std::to_string(cue.number) + " @ ";
    if (cue.kind == MusicCue::Kind::Position)
        return text + std::to_string(cue.order) + ":" + std::to_string(cue.row);
    return text + "inst " + std::to_string(cue.instrument);
}

std::string describeStack(const LayerList& list) {
    std::string text;
    for (const LayerNode* node = &list; node != nullptr; node = node->next) {
        if (node->layer == nullptr)
            continue;
        if (!text.empty())
            text += ' ';
        text += std::string(layerName(node->layer)) + ":" + std::to_string(node->depth);
    }
    return text;
}
