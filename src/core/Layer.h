#pragma once
// The base of every effect: one operation, drawing into a target at a time in seconds.

#include "core/Bitmap.h"
#include "core/SineTable.h"

class StateArchive;

class Layer {
public:
    Layer();
    Layer(const Layer&) = delete;
    Layer& operator=(const Layer&) = delete;

    // Draws into `target` (the 512 x 384 screen); `seconds` is the frame's time since playback
    // started, the same for every layer of one frame.
    virtual void render(Bitmap& target, double seconds) = 0;

    // Hands every member that a frame changes and a later frame reads to `archive`, which saves
    // or restores them (core/StateArchive.h). What is fixed after construction is left out.
    // Every class states its own, even when it is nothing, so that none can be forgotten.
    virtual void archiveState(StateArchive& archive) = 0;

protected:
    // Layers live for the whole run and are never deleted through the base.
    ~Layer() = default;

    SineTable* sineTable;
};
