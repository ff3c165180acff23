#include "platform/ptc/Console.h"

#include "platform/ptc/Error.h"
#include "platform/ptc/HeadlessBackend.h"
#include "platform/ptc/ShownPixels.h"

#include <bit>

namespace ptc {

namespace {

// What an 8-bit channel value shows as on a display that keeps `bits` bits of it: the top bits,
// repeated from the top until 8 bits are filled again (5 bits abcde show as abcdeabc).
std::uint8_t shownChannel(unsigned value, int bits) {
    if (bits >= 8)
        return static_cast<std::uint8_t>(value);
    if (bits <= 0)
        return 0;
    unsigned kept = value >> (8 - bits);
    unsigned widened = 0;
    for (int filled = 0; filled < 8; filled += bits)
        widened = (widened << bits) | kept;
    // The loop may have made more than 8 bits; the surplus is at the bottom.
    int total = ((8 + bits - 1) / bits) * bits;
    return static_cast<std::uint8_t>(widened >> (total - 8));
}

bool isDisplayableFormat(const Format& format) {
    if (!format.direct() || format.bits() < 15 || format.bits() > 32)
        return false;
    return format.r() != 0 && format.g() != 0 && format.b() != 0;
}

} // namespace

Console::Console() = default;

Console::Console(std::unique_ptr<ConsoleBackend> backend) : chosenBackend(std::move(backend)) {}

Console::~Console() {
    close();
}

void Console::backend(std::unique_ptr<ConsoleBackend> backend) {
    if (opened)
        throw DynamicError("console backend cannot change while the console is open");
    chosenBackend = std::move(backend);
    modeList.clear();
    modesRead = false;
}

ConsoleBackend& Console::backend() {
    ensureBackend();
    return *chosenBackend;
}

void Console::ensureBackend() {
    if (!chosenBackend)
        chosenBackend = std::make_unique<HeadlessBackend>();
}

Mode Console::mode(int index) {
    ensureBackend();
    if (!modesRead) {
        modeList.clear();
        for (const Mode& entry : chosenBackend->modes()) {
            // A list stops at its first invalid entry.
            if (!entry.valid() || static_cast<int>(modeList.size()) == maxModes)
                break;
            modeList.push_back(entry);
        }
        modesRead = true;
    }
    if (index < 0 || index >= static_cast<int>(modeList.size()))
        return Mode();
    return modeList[index];
}

void Console::open(const std::string& title, int width, int height, const Format& format, int) {
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384)
        throw DynamicError("cannot open a console of " + std::to_string(width) + " x " +
                           std::to_string(height) + " pixels");
    if (!isDisplayableFormat(format))
        throw DynamicError("cannot open a console in a " + std::to_string(format.bits()) +
                           "-bit format without red, green and blue");
    close();
    ensureBackend();
    chosenBackend->open(title, width, height, format);

    frameWidth = width;
    frameHeight = height;
    frameFormat = format;
    const std::uint32_t masks[3] = {format.r(), format.g(), format.b()};
    reducesDepth = false;
    for (int channel = 0; channel < 3; ++channel) {
        int bits = std::popcount(masks[channel]);
        reducesDepth = reducesDepth || bits < 8;
        for (unsigned value = 0; value < 256; ++value)
            shownLevel[channel][value] = shownChannel(value, bits);
    }
    framePixels.assign(static_cast<std::size_t>(width) * height, 0);
    keySeen = false;
    opened = true;
}

void Console::close() {
    if (!opened)
        return;
    opened = false;
    chosenBackend->close();
}

std::vector<Key> Console::keys() {
    if (!opened)
        return {};
    return chosenBackend->takeKeys();
}

bool Console::key() {
    if (!opened)
        return keySeen;
    if (!keySeen && chosenBackend->keyPressed())
        keySeen = true;
    return keySeen;
}

void Console::update() {
    if (!opened)
        throw DynamicError("console update before the console was opened");
    chosenBackend->present(framePixels.data(), frameWidth, frameHeight);
}

void Console::write(const std::uint32_t* pixels, int pitch, const Area& destination) {
    if (!opened)
        throw DynamicError("copy to a console that is not open");
    if (destination.left() < 0 || destination.top() < 0 || destination.width() < 0 ||
        destination.height() < 0 || destination.right() > frameWidth || destination.bottom() > frameHeight)
        throw DynamicError("copy area reaches outside the console");

    const int width = destination.width();
    const auto* sourceRow = reinterpret_cast<const unsigned char*>(pixels);
    for (int y = destination.top(); y < destination.bottom(); ++y, sourceRow += pitch) {
        std::uint32_t* target =
            framePixels.data() + static_cast<std::size_t>(y) * frameWidth + destination.left();
        const auto* source = reinterpret_cast<const std::uint32_t*>(sourceRow);
        if (!reducesDepth) {
            copyShownPixels(target, source, static_cast<std::size_t>(width));
            continue;
        }
        for (int x = 0; x < width; ++x) {
            std::uint32_t pixel = source[x];
            target[x] = std::uint32_t(shownLevel[0][(pixel >> 16) & 0xFF]) << 16 |
                        std::uint32_t(shownLevel[1][(pixel >> 8) & 0xFF]) << 8 | shownLevel[2][pixel & 0xFF];
        }
    }
}

} // namespace ptc
