#include "show/LayerNames.h"

#include "effects/CrossFadeLayer.h"
#include "effects/FadeToBlackLayer.h"
#include "effects/FadeToWhiteLayer.h"
#include "effects/FeedbackMapLayer.h"
#include "effects/GridMovieLayer.h"
#include "effects/IfsFractalLayer.h"
#include "effects/LensLayer.h"
#include "effects/LoadingGaugeLayer.h"
#include "effects/MaskedFadeLayer.h"
#include "effects/MaskedPictureLayer.h"
#include "effects/NoiseLayer.h"
#include "effects/ParticleFlowLayer.h"
#include "effects/ParticleRingLayer.h"
#include "effects/ParticleStreamsLayer.h"
#include "effects/PictureLayer.h"
#include "effects/PolarVoxelLayer.h"
#include "effects/SwirlMapLayer.h"
#include "effects/TerrainLayer.h"
#include "effects/WarpLayer.h"
#include "show/ShowLayers.h"

namespace {

struct NamedInstance {
    const char* name;
    Layer* (*instance)();
};

// Read through functions, so the table follows the pointers as start-up fills them.
#define VELMORA_INSTANCE(name) {#name, [] { return static_cast<Layer*>(name); }}

const NamedInstance instances[] = {
    VELMORA_INSTANCE(loadingGauge),
    VELMORA_INSTANCE(polarVoxel),
    VELMORA_INSTANCE(picture16),
    VELMORA_INSTANCE(maskedPicture42),
    VELMORA_INSTANCE(picture41),
    VELMORA_INSTANCE(crossFadeScreenTo44),
    VELMORA_INSTANCE(crossFade14to15),
    VELMORA_INSTANCE(crossFade15toScreen),
    VELMORA_INSTANCE(noise),
    VELMORA_INSTANCE(maskFade17to29),
    VELMORA_INSTANCE(maskFade29to30),
    VELMORA_INSTANCE(maskFade30to31),
    VELMORA_INSTANCE(maskFade31to35),
    VELMORA_INSTANCE(maskFade35to36),
    VELMORA_INSTANCE(maskFade36to37),
    VELMORA_INSTANCE(crossFadeScreenTo45),
    VELMORA_INSTANCE(crossFadeScreenTo46a),
    VELMORA_INSTANCE(crossFadeScreenTo46b),
    VELMORA_INSTANCE(maskFadeScreenTo65),
    VELMORA_INSTANCE(maskFadeScreenTo47),
    VELMORA_INSTANCE(maskFade47to48),
    VELMORA_INSTANCE(maskFade48to49),
    VELMORA_INSTANCE(maskFade49to50),
    VELMORA_INSTANCE(maskFade65to55),
    VELMORA_INSTANCE(maskFade55to56),
    VELMORA_INSTANCE(maskFade56to57),
    VELMORA_INSTANCE(maskFade57to58),
    VELMORA_INSTANCE(maskFade58to59),
    VELMORA_INSTANCE(maskFade59toScreen),
    VELMORA_INSTANCE(feedbackMap),
    VELMORA_INSTANCE(swirl28a),
    VELMORA_INSTANCE(swirl28b),
    VELMORA_INSTANCE(gridMovie7),
    VELMORA_INSTANCE(gridMovie8),
    VELMORA_INSTANCE(lens),
    VELMORA_INSTANCE(particleFlow),
    VELMORA_INSTANCE(particleStreams),
    VELMORA_INSTANCE(particleRing),
    VELMORA_INSTANCE(ifsFractal),
    VELMORA_INSTANCE(warp),
    VELMORA_INSTANCE(fadeToBlack),
    VELMORA_INSTANCE(fadeToWhite),
    VELMORA_INSTANCE(terrain),
};

#undef VELMORA_INSTANCE

} // namespace

const char* layerName(const Layer* layer) {
    if (layer == nullptr)
        return "?";
    for (const NamedInstance& named : instances)
        if (named.instance() == layer)
            return named.name;
    return "?";
}

std::vector<Layer*> showLayers() {
    std::vector<Layer*> layers;
    for (const NamedInstance& named : instances)
        layers.push_back(named.instance());
    return layers;
}
