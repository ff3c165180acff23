#pragma once
// The glass disc of the lens layer: inside a circle on screen, two wrapped 512 x 512 textures are
// seen through a refraction profile (magnified in the middle, compressed at the rim) and written,
// one into the target and one into a work image. Single-precision arithmetic throughout.

#include "core/Bitmap.h"
#include "core/ScreenSize.h"

#include <cstdint>

class StateArchive;

class Lens {
  public:
    Lens();

    void setTextures(std::uint32_t* visible, std::uint32_t* ray);
    void setOffset(float x, float y, float angle);
    void setCentre(float x, float y);
    void setRadius(float r);

    // The settings above except the textures, which are pointers into pictures; the refraction
    // profile is fixed by the constructor.
    void archiveState(StateArchive& archive);

    // Writes the disc into target.pixels and work.pixels, both read as 512 x 384.
    void draw(Bitmap& target, Bitmap& work);

    // The same disc a row at a time, for a caller that builds each row when it needs it: the
    // rows' values are worked out once a frame, by plan(), and any row drawn in any order after.
    struct Rows;
    void plan(Rows& rows) const;
    void drawRow(const Rows& rows, int y, Bitmap& target, Bitmap& work) const;

    // Entries of the magnification profile, indexed by the squared distance from the centre in
    // 1/4096 of the squared radius, with room for the half pixel the rows overshoot the rim by.
    static constexpr int refractionSize = 5096;

    // The per-frame values every row shares: the texture's turn and 1 / radius.
    struct RowSetup {
        float s, c, inverse;
    };

  private:
    void drawRow(int y, float v, float half, const RowSetup& setup, Bitmap& target, Bitmap& work) const;

    std::uint32_t* visibleTexture = nullptr;
    std::uint32_t* rayTexture = nullptr;
    float refraction[refractionSize];
    float offsetX = 0.0f;
    float offsetY = 0.0f;
    float centreX = 256.0f;
    float centreY = 192.0f;
    float radius = 130.0f;
    float angle = 0.0f;
};

// One frame's disc rows: rows yTop .. yBottom (none when yTop > yBottom), each with its v.
struct Lens::Rows {
    int yTop = 0;
    int yBottom = -1;
    float r2 = 0.0f;
    RowSetup setup = {};
    float v[screenHeight];
};
