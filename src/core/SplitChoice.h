#pragma once
// Whether a layer's splits run over the band pool or on the drawing thread alone, chosen by what
// each way has cost lately. Splitting pays while the threads hand each other their data quickly.
// Where two cores are far apart (two processor dies, or a virtual machine whose host moves its
// cores about), a layer that passes much data from band to band can take longer split than whole:
// measured on a 2-core virtual machine, the fractal cloud and the spark systems took twice as long
// on two threads as on one whenever a cache line's round trip between the cores passed 300 ns.
// The picture is the same either way; only the time differs.

#include "core/Bitmap.h"

class Layer;

class SplitChoice {
  public:
    // The cheaper way is taken, and kept until the other proves a quarter cheaper. Now and then a
    // render goes the other way, to keep its cost up to date: after `firstProbe` renders, then at
    // twice the distance each time the other way proves dearer again, up to `lastProbe`; back to
    // `firstProbe` whenever the choice changes.
    explicit SplitChoice(int firstProbe = 32, int lastProbe = 512);

    // Whether the next render should split (before record).
    bool nextSplits();
    // What that render cost, in seconds.
    void record(double seconds);

  private:
    int firstProbe, lastProbe;
    int probeDistance;
    int rendersToProbe;
    bool firstRender = true;
    bool choseSplit = true; // the way taken when not probing
    bool splitting = true;  // the way of the render in progress
    bool probing = false;
    // Mean cost of a render, alone and split; negative until measured.
    double meanCost[2] = {-1.0, -1.0};
};

// Renders `layer` alone or split as `choice` says, timed for it. With one thread in the pool it
// simply renders.
void renderChoosingSplit(Layer& layer, SplitChoice& choice, Bitmap& target, double seconds);
