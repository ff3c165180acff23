#include "image/Image.h"

#include "image/BmpCodec.h"
#include "image/FileStream.h"
#include "image/PcxCodec.h"
#include "image/TgaCodec.h"
#include "platform/ptc/Error.h"

#ifndef VELMORA_NO_JPEG
#include "image/JpegCodec.h"
#endif

#include <cerrno>
#include <cstring>
#include <string>

namespace {

struct Recogniser {
    const char* name;
    std::unique_ptr<ImageCodec> (*make)(Stream*);
};

template <class Codec> std::unique_ptr<ImageCodec> makeCodec(Stream* stream) {
    return std::make_unique<Codec>(stream);
}

// The order matters: each test is weaker than the one before it. A build without libjpeg (the
// browser's, whose pictures arrive decoded) recognises no JPEG: such a file is an unknown format.
const Recogniser recognisers[] = {
#ifndef VELMORA_NO_JPEG
    {"JPEG", makeCodec<JpegCodec>},
#endif
    {"BMP", makeCodec<BmpCodec>},
    {"PCX", makeCodec<PcxCodec>},
    {"TGA", makeCodec<TgaCodec>},
};

// A missing file keeps the loader's own words; a file that is there but cannot be opened
// (permissions, a loop of links) adds the system's reason, which is then the useful part.
std::unique_ptr<Stream> openForReading(const char* fileName) {
    errno = 0;
    auto file = std::make_unique<FileStream>(fileName, 1);
    int reason = errno;
    if (file->failed()) {
        std::string message = std::string("Zarvo error - Cannot open file, ") + (fileName ? fileName : "");
        if (fileName && reason != 0 && reason != ENOENT)
            message += std::string(": ") + std::strerror(reason);
        throw ptc::DynamicError(message);
    }
    return file;
}

} // namespace

Image::Image(const char* fileName) : stream(openForReading(fileName)) { decode(); }

Image::Image(Stream* source) : stream(source) {
    if (!stream || stream->failed())
        throw ptc::DynamicError("Zarvo error - Cannot read the stream");
    decode();
}

Image::~Image() = default;

void Image::decode() {
    for (const Recogniser& recogniser : recognisers) {
        std::unique_ptr<ImageCodec> candidate = recogniser.make(stream.get());
        if (candidate->isValid()) {
            codec = std::move(candidate);
            recognisedAs = recogniser.name;
            break;
        }
    }
    if (!codec)
        throw ptc::DynamicError("Zarvo - Unsupported file format");

    codec->getInfo(pictureWidth, pictureHeight, pictureFormat, palettised);
    // getInfo has refused empty formats and sizes beyond the pixel limit, so this cannot overflow.
    std::size_t size = static_cast<std::size_t>(pictureFormat.bytes()) * static_cast<std::size_t>(pictureWidth) *
                       static_cast<std::size_t>(pictureHeight);
    decoded.reset(new std::uint8_t[size]());
    if (!codec->load(decoded.get(), &colours))
        throw ptc::DynamicError(std::string("Zarvo error - The ") + recognisedAs +
                                " picture could not be decoded");
}

void Image::transfer(ptc::Surface& surface) const {
    surface.load(decoded.get(), pictureWidth, pictureHeight, pictureFormat.bytes() * pictureWidth, pictureFormat,
                 colours);
    if (palettised)
        surface.palette(colours);
}
