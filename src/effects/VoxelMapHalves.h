#pragma once
// The voxel landscape's map split in two for its threads.

#include <algorithm>
#include <cmath>
#include <cstdint>

// The map's two halves for a frame: the cells on either side of the line through the camera along
// ray 0's direction. Ray k leaves at angle 2 pi k / 512 + rotation, the direction (sin, cos) in
// (columns, rows), so rays 0 .. 255 cross the cells at (u, v) from the camera with
// u cos(rotation) >= v sin(rotation), and rays 256 .. 511 the others, until they run past 256 cells
// and wrap round to the far side. Each row of the wrapped map is cut at its far point from the
// camera, the seam, and where the line crosses it; both cuts fall on 16 cells (a cache line of
// colours), so the halves share no line. Which cells go to which half only decides where they are
// computed, never what.
class VoxelMapHalves {
  public:
    // Parts of the map, in the order the bands take them: row 0's cells of the first half (rays
    // 0 .. 255), row 1's, ..., then row 0's cells of the second half, and so on.
    static constexpr int size = 512;
    static constexpr int parts = 2 * size;

    VoxelMapHalves(float rotation, float camX, float camY) {
        int cameraColumn = int(std::int64_t(std::floor(camX)) & (size - 1));
        cameraRow = int(std::int64_t(std::floor(camY)) & (size - 1));
        seam = ((cameraColumn + size / 2) & (size - 1)) & ~15;
        slope = std::sin(double(rotation));
        across = std::cos(double(rotation));
    }

    // Calls cells(firstCell, endCell) for the cells of parts begin .. end - 1, each a span within
    // one row.
    template <class Cells> void forEachSpan(int begin, int end, Cells&& cells) const {
        for (int part = begin; part < end; ++part) {
            int row = part % size;
            int secondHalf = secondHalfLength(row);
            // The second half runs from the seam for secondHalf cells, the first half from there
            // back round to the seam.
            int start = part < size ? seam + secondHalf : seam;
            int length = part < size ? size - secondHalf : secondHalf;
            int firstCell = row * size;
            int wrapped = std::max(0, (start & (size - 1)) + length - size);
            int from = start & (size - 1);
            if (length - wrapped > 0)
                cells(firstCell + from, firstCell + from + length - wrapped);
            if (wrapped > 0)
                cells(firstCell, firstCell + wrapped);
        }
    }

  private:
    // How many cells of `row`, from the seam on, lie on the second half's side: those with
    // u cos < v sin, u counted from -256 at the seam.
    int secondHalfLength(int row) const {
        int v = ((row - cameraRow + size / 2) & (size - 1)) - size / 2;
        double crossing = v * slope;
        if (across < 1e-6)
            return crossing > 0 ? size : 0;
        double cells = crossing / across + size / 2;
        return std::clamp(int(std::lround(cells / 16.0)) * 16, 0, size);
    }

    int cameraRow, seam;
    double slope, across;
};
