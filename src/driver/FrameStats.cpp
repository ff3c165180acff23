#include "driver/FrameStats.h"

#include "show/LayerNames.h"
#include "timeline/LayerList.h"
#include "timeline/MusicCue.h"

#include <cxxabi.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <typeinfo>

namespace {

std::string demangled(const char* name) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> text(abi::__cxa_demangle(name, nullptr, nullptr, &status),
                                                std::free);
    return status == 0 && text ? std::string(text.get()) : std::string(name);
}

double millisecondsBetween(std::chrono::steady_clock::time_point from,
                           std::chrono::steady_clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// CPU time of every thread of the process so far.
double processCpuMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6;
}

double rateOf(long frames, double milliseconds) {
    return milliseconds > 0.0 ? frames * 1000.0 / milliseconds : 0.0;
}

std::string layerNames(const std::vector<StackSlot>& stack) {
    std::string names;
    for (const StackSlot& slot : stack) {
        if (!names.empty())
            names += ' ';
        names += layerName(slot.layer);
    }
    return names;
}

std::string cuePosition(const MusicCue& cue) {
    if (cue.kind == MusicCue::Kind::Position)
        return std::to_string(cue.order) + ":" + std::to_string(cue.row);
    return "inst " + std::to_string(cue.instrument);
}

} // namespace

std::vector<StackSlot> stackSlots(const LayerList& list) {
    std::vector<StackSlot> slots;
    for (const LayerNode* node = &list; node != nullptr; node = node->next) {
        if (node->layer != nullptr)
            slots.push_back({node->layer, node->depth});
    }
    return slots;
}

bool insertsLayers(const std::vector<StackSlot>& before, const std::vector<StackSlot>& after) {
    // Counted, since the same layer may hold two slots at one depth.
    auto occurrences = [](const std::vector<StackSlot>& slots, const StackSlot& slot) {
        return std::count(slots.begin(), slots.end(), slot);
    };
    return std::any_of(after.begin(), after.end(), [&](const StackSlot& slot) {
        return occurrences(after, slot) > occurrences(before, slot);
    });
}

void FrameStats::Samples::add(double milliseconds) {
    ++count;
    totalMilliseconds += milliseconds;
    worstMilliseconds = std::max(worstMilliseconds, milliseconds);
}

FrameStats::FrameStats(int framesPerSecond) : framesPerSecond(framesPerSecond) {}

void FrameStats::beginFrame() {
    frameStart = Clock::now();
    frameStartCpuMilliseconds = processCpuMilliseconds();
}

void FrameStats::endFrame(double showSeconds) {
    double cpu = processCpuMilliseconds() - frameStartCpuMilliseconds;
    addFrame(millisecondsBetween(frameStart, Clock::now()), cpu, showSeconds);
}

FrameStats::Scene& FrameStats::currentScene() {
    if (sceneList.empty())
        sceneList.push_back(Scene{"start", "", {}, false, frames});
    return sceneList.back();
}

void FrameStats::addFrame(double wallMilliseconds, double cpuMilliseconds, double showSeconds) {
    Scene& scene = currentScene();
    if (scene.frames == 0)
        scene.startSeconds = showSeconds;
    ++scene.frames;
    scene.wallMilliseconds += wallMilliseconds;
    scene.cpuMilliseconds += cpuMilliseconds;
    scene.worstMilliseconds = std::max(scene.worstMilliseconds, wallMilliseconds);
    if (wallMilliseconds > frameTimes.worstMilliseconds || worstFrame < 0) {
        worstFrame = frames;
        worstFrameSeconds = showSeconds;
    }
    if (cpuMilliseconds > worstCpuMilliseconds || worstCpuFrame < 0) {
        worstCpuMilliseconds = cpuMilliseconds;
        worstCpuFrame = frames;
        worstCpuFrameSeconds = showSeconds;
    }
    frameTimes.add(wallMilliseconds);
    this->cpuMilliseconds += cpuMilliseconds;
    ++frames;
}

void FrameStats::cueRan(const MusicCue& cue, const std::vector<StackSlot>& before,
                        const std::vector<StackSlot>& after) {
    if (!insertsLayers(before, after))
        return;
    std::string number = std::to_string(cue.number);
    if (!sceneList.empty() && sceneList.back().frames == 0) {
        // Still before the scene's first frame: this cue joins it (or replaces an empty start).
        Scene& scene = sceneList.back();
        if (scene.position.empty()) {
            scene.cues = number;
            scene.position = cuePosition(cue);
        } else {
            scene.cues += "+" + number;
        }
        return;
    }
    sceneList.push_back(Scene{number, cuePosition(cue), {}, false, frames});
}

void FrameStats::drawStack(const LayerList& list) {
    Scene& scene = currentScene();
    if (scene.stackSeen)
        return;
    scene.stack = stackSlots(list);
    scene.stackSeen = true;
}

void FrameStats::addLayerTime(const Layer& layer, double milliseconds) {
    layerTimes[std::type_index(typeid(layer))].add(milliseconds);
}

void FrameStats::framePresented(Clock::time_point when) {
    presents.push_back(when);
}

// How a window run reached the display: the rate frames were shown at, the frames dropped, and
// the 99th percentile of the time from one present to the next (nearest rank).
std::string FrameStats::presentLine() const {
    if (presents.size() < 2)
        return {};
    std::vector<double> gaps;
    for (std::size_t i = 1; i < presents.size(); ++i)
        gaps.push_back(std::chrono::duration<double, std::milli>(presents[i] - presents[i - 1]).count());
    std::sort(gaps.begin(), gaps.end());
    std::size_t rank = (gaps.size() * 99 + 99) / 100;
    double seconds = std::chrono::duration<double>(presents.back() - presents.front()).count();
    char line[200];
    std::snprintf(line, sizeof line,
                  "shown: %zu frames in %.2f s, %.1f frames per second, %ld dropped; between presents: 99th "
                  "percentile %.2f ms, worst %.2f ms\n",
                  presents.size(), seconds, double(presents.size() - 1) / seconds, droppedFrames, gaps[rank - 1],
                  gaps.back());
    return line;
}

std::string FrameStats::report() const {
    std::string text;
    char line[200];
    double wallMilliseconds = frameTimes.totalMilliseconds;
    double perSecond = rateOf(frames, wallMilliseconds);
    std::snprintf(line, sizeof line, "frames %ld in %.2f s: %.1f frames per second, %.1fx real time at %d\n",
                  frames, wallMilliseconds / 1000.0, perSecond, perSecond / this->framesPerSecond,
                  this->framesPerSecond);
    text += line;
    text += presentLine();
    if (!renderer.empty())
        text += "renderer: " + renderer + "\n";
    if (drawingThreads > 0)
        text += "drawing threads: " + std::to_string(drawingThreads) + "\n";
    if (frames > 0) {
        std::snprintf(line, sizeof line,
                      "frame: mean %.3f ms (CPU %.3f ms), worst %.3f ms: frame %ld at %.3f s\n",
                      wallMilliseconds / frames, cpuMilliseconds / frames, frameTimes.worstMilliseconds,
                      worstFrame, worstFrameSeconds);
        text += line;
        std::snprintf(line, sizeof line, "most CPU: %.3f ms, frame %ld at %.3f s\n", worstCpuMilliseconds,
                      worstCpuFrame, worstCpuFrameSeconds);
        text += line;
        text += sceneTable();
        text += checkpointTable();
    }
    return text + layerTable();
}

void FrameStats::checkpointMeasured(std::size_t bytes, double saveMilliseconds, double restoreMilliseconds) {
    Scene& scene = currentScene();
    scene.checkpointBytes = bytes;
    scene.checkpointSaveMilliseconds = saveMilliseconds;
    scene.checkpointRestoreMilliseconds = restoreMilliseconds;
}

std::string FrameStats::checkpointTable() const {
    std::string text;
    char line[200];
    for (const Scene& scene : sceneList) {
        if (scene.checkpointBytes == 0)
            continue;
        if (text.empty()) {
            std::snprintf(line, sizeof line, "%-10s %-8s %12s %8s %10s\n", "checkpoint", "at", "bytes", "save ms",
                          "restore ms");
            text += line;
        }
        std::snprintf(line, sizeof line, "%-10s %-8s %12zu %8.3f %10.3f\n", scene.cues.c_str(),
                      scene.position.c_str(), scene.checkpointBytes, scene.checkpointSaveMilliseconds,
                      scene.checkpointRestoreMilliseconds);
        text += line;
    }
    return text;
}

std::string FrameStats::sceneTable() const {
    std::string text;
    char line[200];
    std::snprintf(line, sizeof line, "%-10s %-8s %8s %7s %8s %7s %7s %8s  %s\n", "scene cue", "at", "start s",
                  "frames", "fps", "x real", "CPU ms", "worst ms", "layers");
    text += line;
    for (const Scene& scene : sceneList) {
        if (scene.frames == 0)
            continue;
        double perSecond = rateOf(scene.frames, scene.wallMilliseconds);
        std::snprintf(line, sizeof line, "%-10s %-8s %8.2f %7ld %8.1f %7.1f %7.3f %8.3f  ",
                      scene.cues.c_str(), scene.position.c_str(), scene.startSeconds, scene.frames, perSecond,
                      perSecond / framesPerSecond, scene.cpuMilliseconds / scene.frames,
                      scene.worstMilliseconds);
        text += line + layerNames(scene.stack) + "\n";
    }
    return text;
}

std::string FrameStats::layerTable() const {
    if (layerTimes.empty())
        return {};
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
    std::string text;
    char line[160];
    std::snprintf(line, sizeof line, "%-24s %8s %10s %10s\n", "layer class", "renders", "mean ms",
                  "worst ms");
    text += line;
    for (const Row& row : rows) {
        std::snprintf(line, sizeof line, "%-24s %8ld %10.3f %10.3f\n", row.name.c_str(), row.samples.count,
                      row.samples.totalMilliseconds / row.samples.count, row.samples.worstMilliseconds);
        text += line;
    }
    return text;
}

void renderAllTimed(LayerList& list, Bitmap& target, double seconds, FrameStats& stats) {
    stats.drawStack(list);
    for (LayerNode* node = &list; node != nullptr; node = node->next) {
        // Held apart from the slot: a render may empty its own slot.
        Layer* layer = node->layer;
        if (layer == nullptr)
            continue;
        auto start = std::chrono::steady_clock::now();
        list.renderLayer(*layer, target, seconds);
        stats.addLayerTime(*layer, millisecondsBetween(start, std::chrono::steady_clock::now()));
    }
}
