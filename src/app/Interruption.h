#pragma once
// Ctrl-C (SIGINT), SIGTERM and SIGHUP during an offline render. The first signal only asks the
// render to stop after the frame in hand, so the files are closed properly with what was drawn;
// a second one (a quarter of a second or more later) removes the unfinished files, stops the
// encoders and ends the process at once, by that signal.

#include <string>

class Interruption {
public:
    // Installs the handlers; the previous ones come back when the object goes.
    Interruption();
    ~Interruption();
    Interruption(const Interruption&) = delete;
    Interruption& operator=(const Interruption&) = delete;

    // Whether a first signal came.
    static bool requested();
    // The exit status of a run stopped by that signal, as a shell reports one it ended: 128 + number.
    static int exitStatus();
};

// The line said after an interrupted render of `frames` frames at `fps` into `output` (a file,
// a folder, or "" when nothing was written), without the "velmora: " in front.
std::string interruptedMessage(const std::string& output, long frames, int fps);
