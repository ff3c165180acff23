#pragma once
// The show's screen: 512 x 384 pixels of 0x00RRGGBB, rows of 512 with no padding. Layers that
// draw the whole screen loop over these, whatever size the target bitmap says it has.

constexpr int screenWidth = 512;
constexpr int screenHeight = 384;
constexpr int screenPixels = screenWidth * screenHeight; // 0x30000
