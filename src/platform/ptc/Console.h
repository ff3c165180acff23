#pragma once
// The display. A Console is created closed, given a backend (window or headless) before it is
// opened, opened with a title, size and format, and then receives surface copies into its frame;
// `update` presents the frame. A console with no backend chosen uses a headless backend that
// discards its frames (see HeadlessBackend.h); the driver picks the window explicitly.
//
// The frame is kept as 0x00RRGGBB pixels exactly as the display shows them: a console opened in
// a format with fewer than 8 bits in a channel (16-bit 5-6-5, 15-bit 5-5-5) keeps only the top
// bits of that channel on every copy and shows them widened back to 8 bits by repeating the bits
// from the top (5 bits abcde show as abcdeabc, 6 bits abcdef as abcdefab), so that full intensity
// stays full and zero stays zero. 24- and 32-bit consoles show the pixels unchanged.

#include "platform/ptc/Area.h"
#include "platform/ptc/ConsoleBackend.h"
#include "platform/ptc/Format.h"
#include "platform/ptc/Mode.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ptc {

class Console {
public:
    // At most this many valid modes are reported, so a list with its terminator fits 256 entries.
    static constexpr int maxModes = 255;

    Console();
    explicit Console(std::unique_ptr<ConsoleBackend> backend);
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // Chooses the backend; only while the console is closed (DynamicError otherwise).
    void backend(std::unique_ptr<ConsoleBackend> backend);
    ConsoleBackend& backend();

    // Entry `index` of the backend's mode list; invalid past its end (and for negative indices).
    Mode mode(int index);

    // Opens (or reopens) the display. `format` must be direct colour of 15 to 32 bits; `pages` is
    // accepted for the caller's sake and ignored. The frame starts black. DynamicError on failure.
    void open(const std::string& title, int width, int height, const Format& format, int pages = 0);
    void close();
    bool isOpen() const { return opened; }

    // True once a key has been pressed (or the display closed) since the console was opened.
    bool key();
    // Takes back a key seen (a show that goes on after its end, in the page).
    void forgetKey() { keySeen = false; }
    // The keys pressed since the last call, for a program with controls (it does not use `key`).
    std::vector<Key> keys();
    // Presents the frame as it stands.
    void update();

    int width() const { return frameWidth; }
    int height() const { return frameHeight; }
    const Format& format() const { return frameFormat; }

    // Puts 0x00RRGGBB pixels into the frame, reduced to the console's depth: the destination area
    // of the frame receives destination.width() x destination.height() pixels read from `pixels`,
    // whose rows are `pitch` bytes apart. The area must lie inside the frame (DynamicError).
    void write(const std::uint32_t* pixels, int pitch, const Area& destination);

    // The frame as the display shows it: width() x height() pixels, rows packed.
    const std::uint32_t* frame() const { return framePixels.data(); }

private:
    void ensureBackend();

    std::unique_ptr<ConsoleBackend> chosenBackend;
    std::vector<Mode> modeList;
    bool modesRead = false;
    bool opened = false;
    bool keySeen = false;
    int frameWidth = 0;
    int frameHeight = 0;
    Format frameFormat;
    bool reducesDepth = false;
    // What each 8-bit value of red, green and blue shows as on this console.
    std::array<std::array<std::uint8_t, 256>, 3> shownLevel{};
    std::vector<std::uint32_t> framePixels;
};

} // namespace ptc
