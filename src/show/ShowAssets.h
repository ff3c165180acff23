#pragma once
// What the show loads and builds at start-up, as two tables of steps: the loading phase (each
// step followed by the loading screen at k / 100) and the construction phase after the player's
// version check (each group followed by its listed fractions).

#include <functional>

class LoadingGaugeLayer;

using ProgressDisplay = std::function<void(double fraction)>;

// Loads the pictures and builds the layers that need only them; ends with the empty layerList.
void runLoadingPhase(const ProgressDisplay& showProgress);

// Builds the remaining layers.
void runConstructionPhase(const ProgressDisplay& showProgress);

// The loading gauge over its picture, for loading screens before the loading phase (the
// browser's, while the files arrive); the loading phase builds its own.
LoadingGaugeLayer* newLoadingGauge();
