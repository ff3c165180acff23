#include "show/CueScript.h"

#include "core/ShowObjects.h"
#include "effects/CrossFadeLayer.h"
#include "effects/FadeToBlackLayer.h"
#include "effects/FadeToWhiteLayer.h"
#include "effects/FeedbackMapLayer.h"
#include "effects/GridMovieLayer.h"
#include "effects/IfsFractalLayer.h"
#include "effects/LensLayer.h"
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
#include "timeline/LayerList.h"

#include <vector>

int finaleCount = 0;

namespace {

void insert(Layer* layer, int depth) { layerList->insert(layer, depth); }
void remove(Layer* layer) { layerList->remove(layer); }

// Moves one step along a chain of masked fades: the next member comes in at depth 4 and starts,
// the previous one leaves.
void advanceChain(MaskedFadeLayer* next, MaskedFadeLayer* previous) {
    insert(next, 4);
    next->setFadeTime(1.0);
    remove(previous);
}

// Runs at order 49 and at order 51 on every pass: starts the finale, then switches to the
// feedback pictures while the last chain of masked fades plays once.
void finaleStep() {
    if (finaleCount == 0) {
        noise->setFadePosition(1.0);
        noise->setFadeDirection(-1);
        noise->setFadeTime(2.0);
        remove(particleRing);
        remove(crossFadeScreenTo46b);
        insert(swirl28b, 1);
        swirl28b->reset();
        insert(maskFadeScreenTo65, 2);
        maskFadeScreenTo65->setFadeTime(3.0);
    }
    if (finaleCount == 2) {
        insert(feedbackMap, 1);
        insert(maskFade65to55, 4);
        maskFade65to55->setFadeTime(1.0);
        remove(swirl28b);
        remove(maskFadeScreenTo65);
    }
    if (finaleCount > 2)
        feedbackMap->nextPicture();
    switch (finaleCount) {
    case 3: advanceChain(maskFade55to56, maskFade65to55); break;
    case 4: advanceChain(maskFade56to57, maskFade55to56); break;
    case 5: advanceChain(maskFade57to58, maskFade56to57); break;
    case 6: advanceChain(maskFade58to59, maskFade57to58); break;
    case 7: advanceChain(maskFade59toScreen, maskFade58to59); break;
    case 8: remove(maskFade59toScreen); break;
    default: break;
    }
    ++finaleCount;
}

// A masked fade in a chain replaces its predecessor at depth 2 and runs for a second.
void nextInChain(MaskedFadeLayer* previous, MaskedFadeLayer* next) {
    remove(previous);
    insert(next, 2);
    next->setFadeTime(1.0);
}

// The white flash used on the beats of orders 37 and 41.
void whiteFlash() {
    fadeToWhite->setFadeDirection(-1);
    fadeToWhite->setFadePosition(1.0);
    fadeToWhite->setFadeTime(0.5);
}

// The second chain of masked fades at depth 11, under the fractal.
void nextInUpperChain(MaskedFadeLayer* next, MaskedFadeLayer* previous) {
    insert(next, 11);
    remove(previous);
    next->setFadeTime(1.0);
}

MusicCue at(int number, int order, int row, void (*action)()) {
    return MusicCue::position(number, order, row, action);
}

MusicCue on(int number, int instrument, void (*action)()) {
    return MusicCue::onInstrument(number, instrument, action);
}

// Every cue in registration order: the position cues, then the instrument cues.
std::vector<MusicCue> showCues() {
    return {
        at(1, 0, 0, [] {
            insert(crossFade14to15, 1);
            insert(particleFlow, 9);
            insert(noise, 666);
            noise->setFadePosition(0.0);
            fadeToBlack->setFadePosition(0.0);
            fadeToBlack->setFadeTime(7.0);
            fadeToBlack->setFadeDirection(1);
            insert(fadeToBlack, 98);
        }),
        at(2, 0, 40, [] { crossFade14to15->setFadeTime(10.0); }),
        at(3, 0, 50, [] {
            noise->setFadeDirection(1);
            noise->setFadeLimit(0.3);
            noise->setFadeTime(1.0);
        }),
        at(4, 0, 55, [] { particleFlow->nextFlowMap(); }),
        at(5, 1, 0, [] {
            noise->setFadeDirection(-1);
            noise->setFadeTime(100.0);
        }),
        at(6, 1, 56, [] {
            insert(swirl28a, 1);
            insert(maskFade17to29, 2);
            insert(crossFade15toScreen, 5);
            remove(crossFade14to15);
            crossFade15toScreen->setFadeTime(1.0);
            crossFade15toScreen->setFadePosition(0.0);
            crossFade15toScreen->setFadeDirection(1);
            particleFlow->fadeOut();
        }),
        at(7, 2, 56, [] {
            remove(particleFlow);
            maskFade17to29->setFadeTime(1.0);
        }),
        at(8, 3, 56, [] {
            remove(crossFade15toScreen);
            nextInChain(maskFade17to29, maskFade29to30);
        }),
        at(9, 4, 56, [] { nextInChain(maskFade29to30, maskFade30to31); }),
        at(10, 5, 0, [] { swirl28a->startTwist(); }),
        at(11, 5, 56, [] { nextInChain(maskFade30to31, maskFade31to35); }),
        at(12, 6, 56, [] { nextInChain(maskFade31to35, maskFade35to36); }),
        at(13, 7, 56, [] { nextInChain(maskFade35to36, maskFade36to37); }),
        at(14, 8, 56, [] {
            fadeToBlack->setFadePosition(1.0);
            fadeToBlack->setFadeTime(1.0);
            fadeToBlack->setFadeDirection(-1);
        }),
        at(15, 9, 0, [] {
            remove(maskFade36to37);
            remove(swirl28a);
            insert(gridMovie7, 1);
            fadeToBlack->setFadePosition(0.0);
            fadeToBlack->setFadeDirection(1);
            fadeToBlack->setFadeTime(0.2);
        }),
        at(16, 13, 24, [] {
            insert(fadeToWhite, 99);
            fadeToWhite->setFadeDirection(1);
            fadeToWhite->setFadePosition(0.0);
            fadeToWhite->setFadeTime(1.0);
        }),
        at(17, 14, 0, [] {
            remove(gridMovie7);
            insert(terrain, 1);
            insert(maskedPicture42, 50);
            maskedPicture42->setFadeDirection(1);
            maskedPicture42->setFadePosition(0.0);
            maskedPicture42->setFadeTime(1.0);
            fadeToWhite->setFadeDirection(-1);
            fadeToWhite->setFadePosition(1.0);
            fadeToWhite->setFadeTime(2.0);
        }),
        at(18, 18, 0, [] { insert(warp, 54); }),
        at(19, 21, 48, [] {
            crossFadeScreenTo45->setFadeDirection(1);
            crossFadeScreenTo45->setFadeTime(2.0);
            crossFadeScreenTo45->setFadePosition(0.0);
            insert(crossFadeScreenTo45, 60);
        }),
        at(20, 22, 0, [] {
            remove(warp);
            insert(particleStreams, 71);
        }),
        at(21, 24, 60, [] {
            noise->setFadePosition(0.0);
            noise->setFadeTime(5.0);
            noise->setFadeLimit(1.0);
            noise->setFadeDirection(1);
        }),
        at(22, 25, 0, [] {
            remove(particleStreams);
            remove(crossFadeScreenTo45);
            insert(picture16, 1);
            insert(lens, 2);
            noise->setFadeDirection(-1);
            noise->setFadeTime(0.5);
        }),
        at(23, 26, 0, [] { lens->shuffleSpeeds(); }),
        at(24, 27, 0, [] { lens->shuffleSpeeds(); }),
        at(25, 28, 0, [] { lens->shuffleSpeeds(); }),
        at(26, 28, 48, [] {
            crossFadeScreenTo46a->setFadeDirection(1);
            crossFadeScreenTo46a->setFadePosition(0.0);
            crossFadeScreenTo46a->setFadeTime(2.0);
            insert(crossFadeScreenTo46a, 6);
        }),
        at(27, 29, 0, [] {
            remove(lens);
            remove(picture16);
            insert(ifsFractal, 7);
        }),
        at(28, 30, 0, [] { ifsFractal->shiftPalette(); }),
        at(29, 31, 0, [] {
            insert(maskFadeScreenTo47, 11);
            maskFadeScreenTo47->setFadeTime(1.0);
        }),
        at(30, 31, 0, [] { ifsFractal->shiftPalette(); }),
        at(31, 32, 0, [] { nextInUpperChain(maskFade47to48, maskFadeScreenTo47); }),
        at(32, 32, 0, [] { ifsFractal->shiftPalette(); }),
        at(33, 33, 0, [] { nextInUpperChain(maskFade48to49, maskFade47to48); }),
        at(34, 33, 0, [] { ifsFractal->shiftPalette(); }),
        at(35, 34, 0, [] { nextInUpperChain(maskFade49to50, maskFade48to49); }),
        at(36, 34, 0, [] { ifsFractal->shiftPalette(); }),
        at(37, 35, 0, [] {
            insert(gridMovie8, 1);
            remove(maskFade49to50);
            remove(crossFadeScreenTo46a);
            remove(ifsFractal);
        }),
        at(38, 35, 72, [] {
            crossFadeScreenTo44->setFadePosition(0.0);
            crossFadeScreenTo44->setFadeTime(0.7);
            crossFadeScreenTo44->setFadeDirection(1);
            insert(crossFadeScreenTo44, 7);
        }),
        at(39, 37, 0, [] {
            remove(gridMovie8);
            remove(crossFadeScreenTo44);
            fadeToBlack->setFadePosition(0.0);
            fadeToBlack->setFadeDirection(0);
        }),
        at(40, 37, 0, whiteFlash),
        at(41, 37, 4, whiteFlash),
        at(42, 37, 8, [] {
            whiteFlash();
            insert(picture41, 3);
            insert(polarVoxel, 4);
            fadeToBlack->setFadePosition(1.0);
            fadeToBlack->setFadeDirection(0);
        }),
        at(43, 41, 0, whiteFlash),
        at(44, 41, 0, [] { polarVoxel->switchSet(); }),
        at(45, 42, 48, [] {
            crossFadeScreenTo46b->setFadeDirection(1);
            crossFadeScreenTo46b->setFadeTime(2.0);
            crossFadeScreenTo46b->setFadePosition(0.0);
            insert(crossFadeScreenTo46b, 60);
        }),
        at(46, 43, 0, [] {
            insert(particleRing, 63);
            remove(polarVoxel);
            remove(picture41);
        }),
        at(47, 48, 60, [] {
            noise->setFadePosition(0.0);
            noise->setFadeTime(5.0);
            noise->setFadeLimit(1.0);
            noise->setFadeDirection(1);
        }),
        at(48, 49, 0, finaleStep),
        at(49, 51, 0, finaleStep),

        on(50, 33, [] { swirl28a->pulse(); }),
        on(51, 19, [] { gridMovie7->skipFrames(-3); }),
        on(52, 20, [] { gridMovie7->setFrame(110); }),
        on(53, 21, [] { gridMovie7->skipFrames(-1); }),
        on(54, 22, [] { gridMovie7->skipFrames(-6); }),
        on(55, 23, [] { gridMovie7->setFrame(60); }),
        on(56, 24, [] { gridMovie7->setFrame(200); }),
        on(57, 24, [] { gridMovie7->setFrame(240); }),
    };
}

} // namespace

void registerCues(CueRegistry& cues) {
    for (MusicCue& cue : showCues())
        cues.add(std::move(cue));
}
