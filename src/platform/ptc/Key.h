#pragma once
// The keys a program that takes more than "any key" tells apart; every other key is Other.
// Closing the display counts as Close.

namespace ptc {

enum class Key { Other, Space, Left, Right, PageUp, PageDown, Period, Home, Escape, Q, Close };

} // namespace ptc
