// What each layer carries from one frame to the next, for checkpoints (core/StateArchive.h): the
// members a frame or a setter changes and a later frame reads. Kept together so that the whole of
// the show's layer state can be read in one place.
//
// Left out everywhere: pictures and pointers to them, tables a constructor builds, values a frame
// computes afresh before it reads them (per-frame angles, weights, lookup tables), and the shared
// work buffers and random states, which the driver archives once for the whole show.

#include "core/StateArchive.h"
#include "effects/CrossFadeLayer.h"
#include "effects/FadeToBlackLayer.h"
#include "effects/FadeToWhiteLayer.h"
#include "effects/FeedbackMapLayer.h"
#include "effects/GridMapLayer.h"
#include "effects/GridMovieLayer.h"
#include "effects/IfsFractalLayer.h"
#include "effects/Lens.h"
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
#include "effects/RadialBlurLayer.h"
#include "effects/ScreenFadeLayer.h"
#include "effects/SwirlMapLayer.h"
#include "effects/TerrainLayer.h"
#include "effects/WarpLayer.h"

// The fades.

void ScreenFadeLayer::archiveState(StateArchive& archive) {
    archive(position, rate, direction);
}

void FadeToBlackLayer::archiveState(StateArchive& archive) {
    ScreenFadeLayer::archiveState(archive);
    archive(lastTime);
}

void FadeToWhiteLayer::archiveState(StateArchive& archive) {
    ScreenFadeLayer::archiveState(archive);
    archive(lastTime);
}

void NoiseLayer::archiveState(StateArchive& archive) {
    ScreenFadeLayer::archiveState(archive);
    archive(noiseState, fadeLimit, lastTime);
}

void CrossFadeLayer::archiveState(StateArchive& archive) {
    archive(position, rate, direction, lastTime);
}

// `direction` is left out: nothing changes it after construction.
void MaskedFadeLayer::archiveState(StateArchive& archive) {
    archive(position, rate, lastTime);
}

void MaskedPictureLayer::archiveState(StateArchive& archive) {
    archive(position, rate, direction, lastTime);
}

// Stills: a picture drawn the same way every frame.

void PictureLayer::archiveState(StateArchive&) {}

// The spokes' random walk draws from the shared generator; the layer itself keeps nothing.
void LoadingGaugeLayer::archiveState(StateArchive&) {}

// The swarm. Its glow image is workBufferA and its jitter comes from flowRandomState.
void ParticleFlowLayer::archiveState(StateArchive& archive) {
    archive(growing, flowIndex, activeCount);
    archive.buffer(particles.data(), particles.size());
}

// The grid mappers. The grid of mapped points is rewritten before it is read every frame.

void GridMapLayer::archiveState(StateArchive&) {}

// `twist` is left out: beginFrame sets it every frame.
void SwirlMapLayer::archiveState(StateArchive& archive) {
    archive(amplitude, armed, twistStart);
}

// The weights, angle, zoom and `picture` are set by beginFrame from the time and pictureIndex.
void FeedbackMapLayer::archiveState(StateArchive& archive) {
    archive(pictureIndex);
    archive.buffer(feedback.data(), feedback.size());
}

// `blendedGrid` is scratch, rewritten every frame.
void GridMovieLayer::archiveState(StateArchive& archive) {
    archive(lastTime, position);
}

// The camera. The ray grid lives in workBufferA; the water level and nearbyPeak come from the
// height map.
void TerrainLayer::archiveState(StateArchive& archive) {
    archive(pitch, heading, roll, posX, altitude, posY, steer, lastTime);
}

// The feedback image is workBufferB and the distorted copy workBufferA; the column and row tables
// are rebuilt every frame. The layers to retire are named once, at start-up.
void WarpLayer::archiveState(StateArchive& archive) {
    archive(firstFrame, blend);
}

// The map choices are a cache of the fixed sequence that follows randomState 0.
void IfsFractalLayer::archiveState(StateArchive& archive) {
    archive(spread, lastTime, paletteOffset, oldPaletteOffset, paletteBlend);
}

// The accumulation image is workBufferA; the angles follow from each frame's time.
void ParticleStreamsLayer::archiveState(StateArchive& archive) {
    archive(clearPending);
    archive.buffer(particles.data(), particles.size());
}

// `frameTime` and the angles are set at the start of every frame.
void ParticleRingLayer::archiveState(StateArchive& archive) {
    archive(emitterTime, clearPending, lastTime, nextEmitter);
    archive.buffer(particles.data(), particles.size());
}

// The lens and the light rays.

void Lens::archiveState(StateArchive& archive) {
    archive(offsetX, offsetY, centreX, centreY, radius, angle);
}

// The per-pixel steps are worked out from these at the start of every blur.
void RadialBlurLayer::archiveState(StateArchive& archive) {
    archive(strength, keep, centreX, centreY);
}

// The rays are drawn in workBufferA. Every frame sets the lens and the blur afresh; their own
// functions archive their settings all the same, so that each class's state is whole by itself.
void LensLayer::archiveState(StateArchive& archive) {
    archive(lastTime, speeds, phases);
    lens.archiveState(archive);
    blur.archiveState(archive);
}

// The landscape. Each ray's row of the polar image keeps the entries beyond this frame's terrain
// from earlier frames (only those up to the last horizon are marked empty again), so the image and
// the horizons are state. The blended heights and the colour map are rebuilt every frame.
void PolarVoxelLayer::archiveState(StateArchive& archive) {
    archive.pointerInto(heightA, {firstHeightA, heightC});
    archive.pointerInto(heightB, {firstHeightB, heightD});
    archive.pointerInto(basePicture, {firstPicture, secondPicture});
    archive.buffer(polarImageStorage.data(), polarImageStorage.size());
    archive.buffer(horizonStorage.data(), horizonStorage.size());
}
