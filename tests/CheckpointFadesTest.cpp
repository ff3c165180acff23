// Checkpoint round trips of the fading layers and the stills. Each schedule fades in, turns round,
// re-times the fade, leaves the list for a stretch while the time goes on and comes back; the
// checkpoints fall mid-fade and inside the absence.

#include "CheckpointTestSupport.h"
#include "effects/CrossFadeLayer.h"
#include "effects/FadeToBlackLayer.h"
#include "effects/FadeToWhiteLayer.h"
#include "effects/LoadingGaugeLayer.h"
#include "effects/MaskedFadeLayer.h"
#include "effects/MaskedPictureLayer.h"
#include "effects/NoiseLayer.h"
#include "effects/PictureLayer.h"

#include <gtest/gtest.h>

namespace {

struct FadePictures {
    FadePictures() {
        fillRandom(first.storage, 11);
        fillRandom(second.storage, 12);
        fillRandom(lower.storage, 13);
    }
    TestPicture first{512, 384}, second{512, 384}, lower{512, 384};
    std::vector<std::uint8_t> firstMask = smoothHeights(512, 384);
    std::vector<std::uint8_t> secondMask = randomBytes(512 * 384, 14);
};

constexpr int absentFrom = 30, absentUntil = 45;

// The fade vocabulary's cues, shared by every layer that has all three setters: in quickly, back
// out slowly, a jump, a hold and in again. False while the layer is out of the list.
template <class Fade> bool fadeCues(Fade& layer, int frame) {
    switch (frame) {
    case 0:
        layer.setFadeTime(0.4);
        layer.setFadeDirection(1);
        break;
    case 18:
        layer.setFadeDirection(-1);
        break;
    case 24:
        layer.setFadeTime(2.0);
        break;
    case 50:
        layer.setFadePosition(0.3);
        break;
    case 58:
        layer.setFadeDirection(0);
        break;
    case 64:
        layer.setFadeTime(0.5);
        layer.setFadeDirection(1);
        break;
    }
    return frame < absentFrom || frame >= absentUntil;
}

// A fade over what the layers below drew this frame.
template <class Fade> CheckpointSchedule<Fade> fadeOverBackdrop(const FadePictures& pictures) {
    return {[] { return std::make_unique<Fade>(); },
            [&pictures](Fade& layer, int frame, Bitmap& target) {
                paintBackdrop(target, pictures.lower.storage, frame);
                return fadeCues(layer, frame);
            }};
}

// Checkpoints mid-fade (turned round, re-timed) and inside the absence.
template <class Fade> void expectFadeRoundTrips(CheckpointRoundTrip<Fade>& roundTrip) {
    roundTrip.expectExactAfter(27, 40);
    roundTrip.expectExactAfter(36, 40);
}

} // namespace

TEST(LayerCheckpoint, FadeToBlack) {
    FadePictures pictures;
    CheckpointRoundTrip<FadeToBlackLayer> roundTrip(fadeOverBackdrop<FadeToBlackLayer>(pictures));
    expectFadeRoundTrips(roundTrip);
}

TEST(LayerCheckpoint, FadeToWhite) {
    FadePictures pictures;
    CheckpointRoundTrip<FadeToWhiteLayer> roundTrip(fadeOverBackdrop<FadeToWhiteLayer>(pictures));
    expectFadeRoundTrips(roundTrip);
}

TEST(LayerCheckpoint, Noise) {
    FadePictures pictures;
    CheckpointSchedule<NoiseLayer> schedule = fadeOverBackdrop<NoiseLayer>(pictures);
    auto fade = schedule.cue;
    schedule.cue = [fade](NoiseLayer& layer, int frame, Bitmap& target) {
        if (frame == 10)
            layer.setFadeLimit(0.6);
        if (frame == 66)
            layer.setFadeLimit(1.0);
        return fade(layer, frame, target);
    };
    CheckpointRoundTrip<NoiseLayer> roundTrip(schedule);
    expectFadeRoundTrips(roundTrip);
    // Full static from frame 70 on: only the generator's state changes the picture.
    roundTrip.expectExactAfter(75, 10);
}

TEST(LayerCheckpoint, CrossFadeFromTheScreen) {
    FadePictures pictures;
    CheckpointRoundTrip<CrossFadeLayer> roundTrip(CheckpointSchedule<CrossFadeLayer>{
        [&] { return std::make_unique<CrossFadeLayer>(roundTrip.world.target.bitmap, pictures.second.bitmap); },
        [&](CrossFadeLayer& layer, int frame, Bitmap& target) {
            paintBackdrop(target, pictures.lower.storage, frame);
            return fadeCues(layer, frame);
        }});
    expectFadeRoundTrips(roundTrip);
}

TEST(LayerCheckpoint, CrossFadeBetweenPictures) {
    FadePictures pictures;
    CheckpointRoundTrip<CrossFadeLayer> roundTrip(CheckpointSchedule<CrossFadeLayer>{
        [&] { return std::make_unique<CrossFadeLayer>(pictures.first.bitmap, pictures.second.bitmap); },
        [&](CrossFadeLayer& layer, int frame, Bitmap& target) {
            if (frame >= absentFrom && frame < absentUntil)
                paintBackdrop(target, pictures.lower.storage, frame);
            return fadeCues(layer, frame);
        }});
    expectFadeRoundTrips(roundTrip);
}

TEST(LayerCheckpoint, MaskedPicture) {
    FadePictures pictures;
    CheckpointRoundTrip<MaskedPictureLayer> roundTrip(CheckpointSchedule<MaskedPictureLayer>{
        [&] { return std::make_unique<MaskedPictureLayer>(pictures.first.bitmap, pictures.firstMask.data()); },
        [&](MaskedPictureLayer& layer, int frame, Bitmap& target) {
            paintBackdrop(target, pictures.lower.storage, frame);
            return fadeCues(layer, frame);
        }});
    expectFadeRoundTrips(roundTrip);
}

// The masked fade is only ever re-timed: it runs forwards once per setFadeTime.
TEST(LayerCheckpoint, MaskedFade) {
    FadePictures pictures;
    CheckpointRoundTrip<MaskedFadeLayer> roundTrip(CheckpointSchedule<MaskedFadeLayer>{
        [&] {
            return std::make_unique<MaskedFadeLayer>(pictures.first.bitmap, pictures.second.bitmap,
                                                     pictures.firstMask.data(), pictures.secondMask.data());
        },
        [&](MaskedFadeLayer& layer, int frame, Bitmap& target) {
            paintBackdrop(target, pictures.lower.storage, frame);
            if (frame == 5)
                layer.setFadeTime(3.0);
            if (frame == 52)
                layer.setFadeTime(0.8);
            return frame < absentFrom || frame >= absentUntil;
        }});
    expectFadeRoundTrips(roundTrip);
}

TEST(LayerCheckpoint, Picture) {
    FadePictures pictures;
    CheckpointRoundTrip<PictureLayer> roundTrip(CheckpointSchedule<PictureLayer>{
        [&] { return std::make_unique<PictureLayer>(pictures.first.bitmap); },
        [&](PictureLayer&, int frame, Bitmap& target) {
            paintBackdrop(target, pictures.lower.storage, frame);
            return frame % 3 == 0;
        }});
    roundTrip.expectExactAfter(10, 12);
}

// The gauge's time is the loaded fraction; its spokes wander with the shared random numbers.
TEST(LayerCheckpoint, LoadingGauge) {
    FadePictures pictures;
    CheckpointSchedule<LoadingGaugeLayer> schedule{
        [&] { return std::make_unique<LoadingGaugeLayer>(pictures.first.bitmap); },
        [](LoadingGaugeLayer&, int, Bitmap&) { return true; }};
    schedule.framesPerSecond = 40.0; // 40 steps of loading
    CheckpointRoundTrip<LoadingGaugeLayer> roundTrip(schedule);
    roundTrip.expectExactAfter(20, 12);
}
