#pragma once
// What a Console needs from the thing that shows its frames: a mode list, open and close, a
// finished frame to present, and whether a key was pressed. The Console does the pixel work
// (copies, depth conversion); a backend only ever sees 0x00RRGGBB frames of the opened size.

#include "platform/ptc/Format.h"
#include "platform/ptc/Key.h"
#include "platform/ptc/Mode.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ptc {

class ConsoleBackend {
public:
    virtual ~ConsoleBackend() = default;

    // The valid modes this backend offers, best first (no terminating invalid mode).
    virtual std::vector<Mode> modes() const = 0;
    // Makes ready to show width x height frames. Failures throw DynamicError.
    virtual void open(const std::string& title, int width, int height, const Format& format) = 0;
    virtual void close() = 0;
    // Shows one frame: width x height pixels 0x00RRGGBB, rows packed, already reduced to the
    // depth the console was opened in.
    virtual void present(const std::uint32_t* pixels, int width, int height) = 0;
    // Looks at pending input; true when a key was pressed (or the display was closed) since the
    // last call. The Console keeps the answer once it was true.
    virtual bool keyPressed() = 0;
    // Looks at pending input; the keys pressed since the last call, in order. A backend that
    // does not tell keys apart reports any key as Other.
    virtual std::vector<Key> takeKeys() {
        if (keyPressed())
            return {Key::Other};
        return {};
    }
};

} // namespace ptc
