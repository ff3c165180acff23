#include "driver/ShowState.h"

#include "core/Random.h"
#include "core/ShowObjects.h"
#include "driver/ShowDisplay.h"
#include "effects/ParticleFlowLayer.h"
#include "music/MusicTimeline.h"
#include "platform/ptc/Surface.h"
#include "show/CueScript.h"
#include "show/LayerNames.h"
#include "timeline/LayerList.h"

#include <algorithm>

namespace {

constexpr std::uint32_t stateVersion = 1;

// A slot as its layer's place among the show's instances (-1 for an empty slot).
struct ArchivedSlot {
    std::int32_t instance;
    std::int32_t depth;
};

void archiveLayerList(StateArchive& archive, const std::vector<Layer*>& instances) {
    std::vector<ArchivedSlot> archived;
    if (archive.isSaving()) {
        for (const LayerList::Slot& slot : layerList->slots()) {
            auto found = std::find(instances.begin(), instances.end(), slot.layer);
            std::int32_t instance = slot.layer == nullptr ? -1 : std::int32_t(found - instances.begin());
            if (slot.layer != nullptr && found == instances.end())
                throw ptc::DynamicError("checkpoint: the layer list holds a layer that is not the show's");
            archived.push_back({instance, slot.depth});
        }
    }
    archive.vector(archived);
    if (archive.isSaving())
        return;
    std::vector<LayerList::Slot> slots;
    for (const ArchivedSlot& slot : archived) {
        if (slot.instance < -1 || slot.instance >= std::int32_t(instances.size()))
            throw ptc::DynamicError("checkpoint: damaged layer list");
        slots.push_back({slot.instance < 0 ? nullptr : instances[std::size_t(slot.instance)], slot.depth});
    }
    if (slots.empty())
        throw ptc::DynamicError("checkpoint: damaged layer list");
    layerList->setSlots(slots);
}

void archiveScreen(StateArchive& archive) {
    auto* pixels = static_cast<std::uint32_t*>(offscreen->lock());
    archive.buffer(pixels, std::size_t(offscreen->width()) * std::size_t(offscreen->height()));
    offscreen->unlock();
}

} // namespace

void archiveShowState(StateArchive& archive, TimelineCursor& cues, long& nextFrame) {
    std::uint32_t version = stateVersion;
    archive(version);
    if (version != stateVersion)
        throw ptc::DynamicError("checkpoint: made by another version of the show");
    std::int64_t frame = nextFrame;
    archive(frame);
    nextFrame = long(frame);
    archive(randomState, flowRandomState, musicLevel, finaleCount);
    archive.buffer(workBufferA, workBufferWords);
    archive.buffer(workBufferB, workBufferWords);
    archiveScreen(archive);
    std::vector<Layer*> instances = showLayers();
    archiveLayerList(archive, instances);
    for (Layer* layer : instances)
        if (layer != nullptr)
            layer->archiveState(archive);
    cues.archiveState(archive);
}
