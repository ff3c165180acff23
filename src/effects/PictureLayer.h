#pragma once
// A full-screen still picture: copies its 512 x 384 picture over the whole target every frame.

#include "core/Bitmap.h"
#include "core/Layer.h"

#include <cstdint>

class PictureLayer : public Layer {
  public:
    // Throws ptc::DynamicError unless `picture` is 512 x 384 (or taller).
    explicit PictureLayer(Bitmap& picture);

    void render(Bitmap& target, double seconds) override;
    void archiveState(StateArchive& archive) override;

    std::uint32_t* picture;
};
