#pragma once
// A full-screen movie stored as one picture: frame n is the run of 129 x 97 colours starting at
// pixel n * 12,513 (a grid point every 4 pixels). The current frame is blended with the next by
// the fraction of the position, then enlarged by bilinear interpolation over 4 x 4 cells.
// Overwrites the whole 512 x 384 target; written pixels have top byte 0xFF.

#include "core/BandBalance.h"
#include "core/Bitmap.h"
#include "core/Layer.h"

#include <cstdint>
#include <vector>

class GridMovieLayer : public Layer {
  public:
    static constexpr int gridColumns = 129;
    static constexpr int gridRows = 97;
    static constexpr int frameSize = gridColumns * gridRows;

    // Throws ptc::DynamicError when the picture holds less than one whole frame.
    GridMovieLayer(Bitmap& frames, double framesPerSecond);

    // Jumps to `frame`, wrapped into the movie.
    void setFrame(int frame);
    // Moves the position by `delta` frames, wrapped; the fraction is kept.
    void skipFrames(int delta);

    void render(Bitmap& target, double seconds) override;
    void archiveState(StateArchive& archive) override;

    std::uint32_t* frames;
    std::int32_t frameCount;
    double framesPerSecond;
    double lastTime = -1.0;
    double position = 0.0; // frame number plus the blend towards the next frame

  private:
    // Brings the position into 0 <= position < frameCount.
    void wrapPosition();

    std::vector<std::uint32_t> blendedGrid; // one frame, blended, for the vector path
    // The screen rows each thread draws, moved to balance the threads; not the layer's state.
    BandBalance rowBands;
};
