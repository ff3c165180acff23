#pragma once
// Timing of a run for --stats: frames and frames per second over the main loop, and per layer
// class the mean and worst milliseconds of one render call.

#include "core/Bitmap.h"

#include <chrono>
#include <map>
#include <string>
#include <typeindex>

class Layer;
class LayerList;

class FrameStats {
public:
    void beginFrame();
    void endFrame();
    void addLayerTime(const Layer& layer, double milliseconds);

    // The table printed at the end of a run.
    std::string report() const;

    long frameCount() const { return frames; }

private:
    struct Samples {
        long count = 0;
        double totalMilliseconds = 0.0;
        double worstMilliseconds = 0.0;
        void add(double milliseconds);
    };

    using Clock = std::chrono::steady_clock;
    Clock::time_point firstFrameStart{};
    Clock::time_point frameStart{};
    Clock::time_point lastFrameEnd{};
    long frames = 0;
    Samples frameTimes;
    std::map<std::type_index, Samples> layerTimes;
};

// The layer list's renderAll with a clock around each render: every non-empty slot, first to
// last, reading `next` after each render, exactly as LayerList::renderAll does.
void renderAllTimed(LayerList& list, Bitmap& target, double seconds, FrameStats& stats);

// The class name of a layer, readable ("FadeToBlackLayer").
std::string layerClassName(const Layer& layer);
