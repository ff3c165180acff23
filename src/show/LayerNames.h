#pragma once
// The show's layer instances by name: for the trace of the layer stack, and in one fixed order
// for the show's checkpoints.

#include <vector>

class Layer;

// The name `layer` is held under in show/ShowLayers.h, or "?" for none of them.
const char* layerName(const Layer* layer);

// Every layer instance of the show, always in the same order (null where start-up has not built
// it yet).
std::vector<Layer*> showLayers();
