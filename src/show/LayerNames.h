#pragma once
// The instance names of the show's layers, for the trace of the layer stack.

class Layer;

// The name `layer` is held under in show/ShowLayers.h, or "?" for none of them.
const char* layerName(const Layer* layer);
