#pragma once
// For as long as it lives, a corrupt JPEG is an error that names the file rather than the end of
// the process: libjpeg's fatal message becomes the library's exception, and the warnings of
// streams it recovers from are not printed.

#ifdef VELMORA_NO_JPEG

// Without libjpeg there are no JPEG messages to take over.
class JpegMessagesAsErrors {};

#else

#include "image/JpegCodec.h"

class JpegMessagesAsErrors {
public:
    JpegMessagesAsErrors()
        : fatal(JpegCodec::setFatalHandler(ignore)), warning(JpegCodec::setWarningHandler(ignore)) {}
    ~JpegMessagesAsErrors() {
        JpegCodec::setFatalHandler(fatal);
        JpegCodec::setWarningHandler(warning);
    }
    JpegMessagesAsErrors(const JpegMessagesAsErrors&) = delete;
    JpegMessagesAsErrors& operator=(const JpegMessagesAsErrors&) = delete;

private:
    static void ignore(const char*) {}

    JpegCodec::MessageHandler fatal;
    JpegCodec::MessageHandler warning;
};

#endif
