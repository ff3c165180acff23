#include "driver/CueDispatch.h"

#include "core/ShowObjects.h"
#include "driver/FrameStats.h"
#include "platform/bass/Bass.h"
#include "show/LayerNames.h"
#include "timeline/LayerList.h"

#include <ostream>

CueDispatch::CueDispatch(std::ostream* trace) : trace(trace) {}

void CueDispatch::add(MusicCue cue) {
    cues.push_back(std::move(cue));
}

std::vector<TimelineRegistration> CueDispatch::registrations() const {
    std::vector<TimelineRegistration> list;
    for (std::size_t i = 0; i < cues.size(); ++i)
        list.push_back({std::uint32_t(i + 1), syncType(cues[i]), syncParameter(cues[i])});
    return list;
}

void CueDispatch::runSync(std::uint32_t handle) {
    if (handle >= 1 && handle <= cues.size())
        run(cues[handle - 1]);
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
