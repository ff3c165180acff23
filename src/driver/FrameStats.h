#pragma once
// Timing of a run for --stats: frames per second over the main loop and per scene, the worst
// frame, and per layer class the mean and worst milliseconds of one render call. A scene runs from
// one cue that inserts layers to the next; a frame belongs to the scene whose stack it draws.
// Frame times are wall clock; the CPU time of the process is kept beside them, since on a shared
// machine the wall clock also counts the time others took.

#include "core/Bitmap.h"

#include <chrono>
#include <map>
#include <string>
#include <typeindex>
#include <vector>

class Layer;
class LayerList;
struct MusicCue;

// One non-empty slot of the layer stack.
struct StackSlot {
    const Layer* layer = nullptr;
    int depth = 0;
    bool operator==(const StackSlot&) const = default;
};

// The non-empty slots from first to last.
std::vector<StackSlot> stackSlots(const LayerList& list);

// Whether `after` holds a slot (a layer at a depth) that `before` lacks: a layer was inserted.
// Emptied slots alone do not count; an insert moves the slot it takes one place back unchanged.
bool insertsLayers(const std::vector<StackSlot>& before, const std::vector<StackSlot>& after);

class FrameStats {
  public:
    // The frame rate the show is rendered at, for the speed as a multiple of real time.
    explicit FrameStats(int framesPerSecond = 60);

    // Around everything one frame costs: its sound, its cues, its layers and its present.
    void beginFrame();
    void endFrame(double showSeconds);

    // One frame taken by other means (tests, or timings measured elsewhere).
    void addFrame(double wallMilliseconds, double cpuMilliseconds, double showSeconds);

    void addLayerTime(const Layer& layer, double milliseconds);

    // A window run: a frame reached the display at `when`; frames the loop skipped to keep time.
    void framePresented(std::chrono::steady_clock::time_point when);
    void setDroppedFrames(long dropped) { droppedFrames = dropped; }
    // The window's renderer, said in the report; "" for none.
    void setRenderer(const std::string& name) { renderer = name; }
    // The threads that draw the heavy layers in bands, said in the report; 0 to say nothing.
    void setDrawingThreads(int threads) { drawingThreads = threads; }

    // A cue's action ran, turning the stack `before` into `after`; if it inserted layers, the
    // next frames belong to a new scene. Inserting cues before the same frame make one scene.
    void cueRan(const MusicCue& cue, const std::vector<StackSlot>& before,
                const std::vector<StackSlot>& after);

    // The show's checkpoint at the current scene's first frame: its size, and the milliseconds to
    // save and to restore it.
    void checkpointMeasured(std::size_t bytes, double saveMilliseconds, double restoreMilliseconds);

    // The stack a frame is about to draw; the first one drawn in a scene is the scene's.
    void drawStack(const LayerList& list);

    // The tables printed at the end of a run.
    std::string report() const;

    long frameCount() const { return frames; }

    struct Scene {
        // The numbers of the cues that began it ("29+30"), or "start" for the frames before the
        // first inserting cue; where the music was ("31:0", "inst 33").
        std::string cues;
        std::string position;
        std::vector<StackSlot> stack;
        bool stackSeen = false;
        long firstFrame = 0;
        double startSeconds = 0.0;
        long frames = 0;
        double wallMilliseconds = 0.0;
        double cpuMilliseconds = 0.0;
        double worstMilliseconds = 0.0;
        std::size_t checkpointBytes = 0;
        double checkpointSaveMilliseconds = 0.0;
        double checkpointRestoreMilliseconds = 0.0;
    };
    const std::vector<Scene>& scenes() const { return sceneList; }

  private:
    struct Samples {
        long count = 0;
        double totalMilliseconds = 0.0;
        double worstMilliseconds = 0.0;
        void add(double milliseconds);
    };

    Scene& currentScene();
    std::string sceneTable() const;
    std::string checkpointTable() const;
    std::string layerTable() const;
    std::string presentLine() const;

    using Clock = std::chrono::steady_clock;
    int framesPerSecond;
    Clock::time_point frameStart{};
    double frameStartCpuMilliseconds = 0.0;
    long frames = 0;
    Samples frameTimes;
    double cpuMilliseconds = 0.0;
    long worstFrame = -1;
    double worstFrameSeconds = 0.0;
    // The frame that took the most CPU time: the worst one on a machine others also use.
    double worstCpuMilliseconds = 0.0;
    long worstCpuFrame = -1;
    double worstCpuFrameSeconds = 0.0;
    std::vector<Scene> sceneList;
    std::map<std::type_index, Samples> layerTimes;
    std::vector<Clock::time_point> presents;
    long droppedFrames = 0;
    std::string renderer;
    int drawingThreads = 0;
};

// The layer list's renderAll with a clock around each render: every non-empty slot, first to
// last, reading `next` after each render, exactly as LayerList::renderAll does.
void renderAllTimed(LayerList& list, Bitmap& target, double seconds, FrameStats& stats);
