#include "main/FrameStats.h"

#include "timeline/LayerList.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <typeinfo>
#include <vector>

namespace {

std::string demangled(const char* name) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> text(abi::__cxa_demangle(name, nullptr, nullptr, &status), std::free);
    return status == 0 && text ? std::string(text.get()) : std::string(name);
}

double millisecondsBetween(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

} // namespace

void FrameStats::Samples::add(double milliseconds) {
    ++count;
    totalMilliseconds += milliseconds;
    worstMilliseconds = std::max(worstMilliseconds, milliseconds);
}

void FrameStats::beginFrame() {
    frameStart = Clock::now();
    if (frames == 0)
        firstFrameStart = frameStart;
}

void FrameStats::endFrame() {
    lastFrameEnd = Clock::now();
    frameTimes.add(millisecondsBetween(frameStart, lastFrameEnd));
    ++frames;
}

void FrameStats::addLayerTime(const Layer& layer, double milliseconds) {
    layerTimes[std::type_index(typeid(layer))].add(milliseconds);
}

std::string FrameStats::report() const {
    std::string text;
    char line[160];
    double wallSeconds = frames > 0 ? millisecondsBetween(firstFrameStart, lastFrameEnd) / 1000.0 : 0.0;
    double perSecond = wallSeconds > 0.0 ? frames / wallSeconds : 0.0;
    std::snprintf(line, sizeof line, "frames %ld in %.2f s: %.1f frames per second\n", frames, wallSeconds,
                  perSecond);
    text += line;
    if (frames > 0) {
        std::snprintf(line, sizeof line, "frame: mean %.3f ms, worst %.3f ms\n",
                      frameTimes.totalMilliseconds / frameTimes.count, frameTimes.worstMilliseconds);
        text += line;
    }
    if (layerTimes.empty())
        return text;

    struct Row {
        std::string name;
        Samples samples;
    };
    std::vector<Row> rows;
    for (const auto& [type, samples] : layerTimes)
        rows.push_back({demangled(type.name()), samples});
    // Costliest first.
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        return a.samples.totalMilliseconds > b.samples.totalMilliseconds;
    });
    std::snprintf(line, sizeof line, "%-24s %8s %10s %10s\n", "layer class", "renders", "mean ms", "worst ms");
    text += line;
    for (const Row& row : rows) {
        std::snprintf(line, sizeof line, "%-24s %8ld %10.3f %10.3f\n", row.name.c_str(), row.samples.count,
                      row.samples.totalMilliseconds / row.samples.count, row.samples.worstMilliseconds);
        text += line;
    }
    return text;
}

void renderAllTimed(LayerList& list, Bitmap& target, double seconds, FrameStats& stats) {
    for (LayerNode* node = &list; node != nullptr; node = node->next) {
        // Held apart from the slot: a render may empty its own slot.
        Layer* layer = node->layer;
        if (layer == nullptr)
            continue;
        auto start = std::chrono::steady_clock::now();
        layer->render(target, seconds);
        stats.addLayerTime(*layer, millisecondsBetween(start, std::chrono::steady_clock::now()));
    }
}

std::string layerClassName(const Layer& layer) {
    return demangled(typeid(layer).name());
}
