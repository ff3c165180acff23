#pragma once
// A rectangle; right and bottom are exclusive.

namespace ptc {

class Area {
public:
    Area() = default;
    Area(int left, int top, int right, int bottom) : l(left), t(top), r(right), b(bottom) {}

    int left() const { return l; }
    int top() const { return t; }
    int right() const { return r; }
    int bottom() const { return b; }
    int width() const { return r - l; }
    int height() const { return b - t; }

    bool operator==(const Area& other) const = default;

private:
    int l = 0, t = 0, r = 0, b = 0;
};

} // namespace ptc
