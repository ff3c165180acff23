#pragma once
// JPEG files with a JFIF header, decoded and encoded by libjpeg. Pictures decode as 24 bits in
// the byte order R, G, B (red mask 0x0000FF). Only three-component files are read.
//
// libjpeg's own fatal errors (a corrupt stream) go to a process-wide handler. The default one
// prints libjpeg's message on standard error and ends the process with status 1; a replacement
// may throw, or return, in which case the codec throws a ptc::DynamicError carrying the message.

#include "image/ImageCodec.h"

#include <memory>

class JpegCodec : public ImageCodec {
public:
    using MessageHandler = void (*)(const char* message);

    // For saving only.
    JpegCodec();
    // Reads the signature and, for a JFIF file, the header.
    explicit JpegCodec(Stream* stream);
    ~JpegCodec() override;

    int load(std::uint8_t* pixels, ptc::Palette* palette) override;
    // `options` points to the quality 0..100, or is null for 75. The stream stays open.
    int save(Stream* stream, int width, int height, const ptc::Format& format, ptc::Palette* palette,
             const std::uint8_t* pixels, const int* options) override;
    int isValid() override;

    // Each returns the handler it replaces.
    static MessageHandler setFatalHandler(MessageHandler handler);
    static MessageHandler setWarningHandler(MessageHandler handler);

    struct Decoder;

private:
    void checkHeader() override;
    void releaseDecoder();
    [[noreturn]] void decoderFailed(const char* message);

    bool decoderActive = false;
    std::unique_ptr<Decoder> decoder;
    char signature[4] = {0, 0, 0, 0};
};
