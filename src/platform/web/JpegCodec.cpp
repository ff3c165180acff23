// The browser's stand-in for the JPEG codec: there is no libjpeg for WebAssembly here, and none is
// needed, since the pictures reach the browser already decoded (velmora-webprep). It claims no
// file, so a JPEG that did reach the page is refused as an unsupported format.

#include "image/JpegCodec.h"

struct JpegCodec::Decoder {};

namespace {

JpegCodec::MessageHandler fatalHandler = nullptr;
JpegCodec::MessageHandler warningHandler = nullptr;

} // namespace

JpegCodec::JpegCodec() : ImageCodec(nullptr) {}
JpegCodec::JpegCodec(Stream* source) : ImageCodec(source) {}
JpegCodec::~JpegCodec() = default;

int JpegCodec::load(std::uint8_t*, ptc::Palette*) {
    fail("JPEG is not decoded in this build");
}

int JpegCodec::save(Stream*, int, int, const ptc::Format&, ptc::Palette*, const std::uint8_t*, const int*) {
    fail("JPEG is not encoded in this build");
}

int JpegCodec::isValid() {
    return 0;
}

void JpegCodec::checkHeader() {}

JpegCodec::MessageHandler JpegCodec::setFatalHandler(MessageHandler handler) {
    MessageHandler old = fatalHandler;
    fatalHandler = handler;
    return old;
}

JpegCodec::MessageHandler JpegCodec::setWarningHandler(MessageHandler handler) {
    MessageHandler old = warningHandler;
    warningHandler = handler;
    return old;
}
