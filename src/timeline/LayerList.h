#pragma once
// The stack of active layers: slots in ascending depth, drawn from first to last. Removing a
// layer only empties its slot; nodes are never freed, and the list object is its own first node.

#include "core/Bitmap.h"
#include "core/Layer.h"
#include "core/SplitChoice.h"

#include <unordered_map>
#include <vector>

struct LayerNode {
    LayerNode* next = nullptr;
    Layer* layer = nullptr;
    int depth = 0;
};

class LayerList : public LayerNode {
public:
    LayerList() = default;
    LayerList(const LayerList&) = delete;
    LayerList& operator=(const LayerList&) = delete;

    // Puts `layer` in the place of the first slot whose depth is >= `depth` (so among equal depths
    // the latest insert is drawn first), or at the end.
    void insert(Layer* layer, int depth);

    // Empties the first slot that holds `layer`; nothing if none does.
    void remove(Layer* layer);

    // Every slot from the first (the list itself) to the last, empty ones included.
    struct Slot {
        Layer* layer;
        int depth;
    };
    std::vector<Slot> slots() const;
    // Makes the list hold exactly `slots` (the first must be a slot of depth 0, the list itself).
    void setSlots(const std::vector<Slot>& slots);

    // Draws every non-empty slot in order, each through renderLayer. `next` is read after each
    // render, so a render that empties a later slot takes effect in the same pass.
    void renderAll(Bitmap& target, double seconds);

    // Renders `layer` split over the band pool or alone, as what each way cost it lately says
    // (core/SplitChoice.h).
    void renderLayer(Layer& layer, Bitmap& target, double seconds);

private:
    // Per layer drawn, its split choice. Kept here rather than in the layers, which it would
    // otherwise grow: their members' places in memory change how fast some of them draw.
    std::unordered_map<const Layer*, SplitChoice> splitChoices;
};
