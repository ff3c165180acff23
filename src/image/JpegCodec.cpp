#include "image/JpegCodec.h"

#include "platform/ptc/Error.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

// libjpeg reports fatal errors through `error_exit`, which must not return. Ours records the
// message and jumps back to the codec's guarded call; only plain C calls and trivially
// destructible frames lie between the two, so the jump skips no destructor.

namespace {

constexpr int bufferSize = 4096;

void printAndExit(const char* message) {
    std::fprintf(stderr, "%s\n", message);
    std::exit(1);
}

void printWarning(const char* message) { std::fprintf(stderr, "%s\n", message); }

JpegCodec::MessageHandler fatalHandler = printAndExit;
JpegCodec::MessageHandler warningHandler = printWarning;

struct ErrorState {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void onFatalError(j_common_ptr info) {
    auto* state = reinterpret_cast<ErrorState*>(info->err);
    (*info->err->format_message)(info, state->message);
    std::longjmp(state->jump, 1);
}

void onMessage(j_common_ptr info) {
    char message[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, message);
    warningHandler(message);
}

void initErrorState(ErrorState& state) {
    jpeg_std_error(&state.manager);
    state.manager.error_exit = onFatalError;
    state.manager.output_message = onMessage;
    state.message[0] = 0;
}

// Runs libjpeg calls; false when libjpeg gave up (the message is in `state`).
template <class Calls> bool guarded(ErrorState& state, Calls&& calls) {
    if (setjmp(state.jump))
        return false;
    calls();
    return true;
}

struct SourceManager {
    jpeg_source_mgr pub;
    Stream* stream;
    JOCTET* buffer;
    boolean startOfFile;
    // The file ended before the picture did.
    bool ranOut;
};

void initSource(j_decompress_ptr info) { reinterpret_cast<SourceManager*>(info->src)->startOfFile = TRUE; }

boolean fillInputBuffer(j_decompress_ptr info) {
    auto* source = reinterpret_cast<SourceManager*>(info->src);
    long long remaining = static_cast<long long>(source->stream->size()) - source->stream->tell();
    int wanted = remaining > bufferSize ? bufferSize : remaining > 0 ? static_cast<int>(remaining) : 0;
    int count = wanted ? source->stream->read(source->buffer, wanted) : 0;
    if (count <= 0) {
        if (source->startOfFile)
            ERREXIT(info, JERR_INPUT_EMPTY);
        WARNMS(info, JWRN_JPEG_EOF);
        // A fake end-of-image marker lets the decoder finish; the codec then refuses the picture
        // (a short file is an error, not a picture with grey rows).
        source->ranOut = true;
        source->buffer[0] = 0xFF;
        source->buffer[1] = JPEG_EOI;
        count = 2;
    }
    source->pub.next_input_byte = source->buffer;
    source->pub.bytes_in_buffer = static_cast<std::size_t>(count);
    source->startOfFile = FALSE;
    return TRUE;
}

void skipInputData(j_decompress_ptr info, long count) {
    if (count <= 0)
        return;
    jpeg_source_mgr* source = info->src;
    while (count > static_cast<long>(source->bytes_in_buffer)) {
        count -= static_cast<long>(source->bytes_in_buffer);
        fillInputBuffer(info);
    }
    source->next_input_byte += count;
    source->bytes_in_buffer -= static_cast<std::size_t>(count);
}

void termSource(j_decompress_ptr) {}

void installSource(j_decompress_ptr info, Stream* stream) {
    // Both the manager and its buffer come from the permanent pool, so destroying the decoder
    // frees them whether or not decoding finished.
    auto* source = static_cast<SourceManager*>(
        (*info->mem->alloc_small)(reinterpret_cast<j_common_ptr>(info), JPOOL_PERMANENT, sizeof(SourceManager)));
    source->buffer = static_cast<JOCTET*>(
        (*info->mem->alloc_small)(reinterpret_cast<j_common_ptr>(info), JPOOL_PERMANENT, bufferSize));
    source->stream = stream;
    source->startOfFile = TRUE;
    source->ranOut = false;
    source->pub.init_source = initSource;
    source->pub.fill_input_buffer = fillInputBuffer;
    source->pub.skip_input_data = skipInputData;
    source->pub.resync_to_restart = jpeg_resync_to_restart;
    source->pub.term_source = termSource;
    source->pub.bytes_in_buffer = 0;
    source->pub.next_input_byte = nullptr;
    info->src = &source->pub;
}

struct DestinationManager {
    jpeg_destination_mgr pub;
    Stream* stream;
    JOCTET* buffer;
};

void initDestination(j_compress_ptr info) {
    auto* destination = reinterpret_cast<DestinationManager*>(info->dest);
    destination->buffer = static_cast<JOCTET*>(
        (*info->mem->alloc_small)(reinterpret_cast<j_common_ptr>(info), JPOOL_IMAGE, bufferSize));
    destination->pub.next_output_byte = destination->buffer;
    destination->pub.free_in_buffer = bufferSize;
}

boolean emptyOutputBuffer(j_compress_ptr info) {
    auto* destination = reinterpret_cast<DestinationManager*>(info->dest);
    destination->stream->write(destination->buffer, bufferSize);
    destination->pub.next_output_byte = destination->buffer;
    destination->pub.free_in_buffer = bufferSize;
    return TRUE;
}

void termDestination(j_compress_ptr info) {
    auto* destination = reinterpret_cast<DestinationManager*>(info->dest);
    int pending = bufferSize - static_cast<int>(destination->pub.free_in_buffer);
    if (pending > 0)
        destination->stream->write(destination->buffer, pending);
}

void installDestination(j_compress_ptr info, Stream* stream) {
    auto* destination = static_cast<DestinationManager*>(
        (*info->mem->alloc_small)(reinterpret_cast<j_common_ptr>(info), JPOOL_PERMANENT, sizeof(DestinationManager)));
    destination->stream = stream;
    destination->buffer = nullptr;
    destination->pub.init_destination = initDestination;
    destination->pub.empty_output_buffer = emptyOutputBuffer;
    destination->pub.term_destination = termDestination;
    info->dest = &destination->pub;
}

// Hands libjpeg's message to the fatal handler; if that returns, the failure becomes the
// library's usual exception.
[[noreturn]] void reportFatal(const char* what, const char* message) {
    fatalHandler(message);
    throw ptc::DynamicError(std::string("Zarvo error - ") + what + ": " + message);
}

} // namespace

struct JpegCodec::Decoder {
    jpeg_decompress_struct info;
    ErrorState errors;
};

JpegCodec::MessageHandler JpegCodec::setFatalHandler(MessageHandler handler) {
    MessageHandler previous = fatalHandler;
    fatalHandler = handler ? handler : printAndExit;
    return previous;
}

JpegCodec::MessageHandler JpegCodec::setWarningHandler(MessageHandler handler) {
    MessageHandler previous = warningHandler;
    warningHandler = handler ? handler : printWarning;
    return previous;
}

JpegCodec::JpegCodec() : ImageCodec(nullptr) {}

JpegCodec::JpegCodec(Stream* source) : ImageCodec(source) {
    if (!stream)
        return;
    stream->seek(6, 0);
    if (stream->read(signature, 4) != 4)
        std::memset(signature, 0, sizeof signature);
    stream->seek(0, 0);
    if (!isValid())
        return;

    decoder = std::make_unique<Decoder>();
    jpeg_decompress_struct* info = &decoder->info;
    initErrorState(decoder->errors);
    info->err = &decoder->errors.manager;
    jpeg_create_decompress(info);
    decoderActive = true;
    installSource(info, stream);
    if (!guarded(decoder->errors, [info] { jpeg_read_header(info, TRUE); }))
        decoderFailed(decoder->errors.message);

    width = static_cast<int>(info->image_width);
    height = static_cast<int>(info->image_height);
    if (info->num_components != 3) {
        releaseDecoder();
        fail("Can't do grayscale jpegs yet, author too lazy");
    }
    format = ptc::Format(24, 0x0000FF, 0x00FF00, 0xFF0000, 0);
}

JpegCodec::~JpegCodec() { releaseDecoder(); }

void JpegCodec::releaseDecoder() {
    if (decoderActive)
        jpeg_destroy_decompress(&decoder->info);
    decoderActive = false;
}

void JpegCodec::decoderFailed(const char* message) {
    std::string text = message;
    releaseDecoder();
    reportFatal("Corrupt JPEG data", text.c_str());
}

int JpegCodec::isValid() { return std::memcmp(signature, "JFIF", 4) == 0 ? 1 : 0; }

void JpegCodec::checkHeader() {
    if (format.empty())
        fail("Not a JPEG picture");
    checkDimensions(width, height);
}

int JpegCodec::load(std::uint8_t* pixels, ptc::Palette*) {
    if (!pixels) {
        releaseDecoder();
        return 1;
    }
    checkHeader();
    if (!decoderActive)
        fail("The JPEG picture was already decoded");

    jpeg_decompress_struct* info = &decoder->info;
    const std::size_t rowBytes = static_cast<std::size_t>(format.bytes()) * static_cast<std::size_t>(width);
    bool layoutMatches = true;
    bool completed = guarded(decoder->errors, [&] {
        jpeg_start_decompress(info);
        if (info->output_components != 3 || info->output_width != static_cast<JDIMENSION>(width) ||
            info->output_height != static_cast<JDIMENSION>(height)) {
            layoutMatches = false;
            return;
        }
        JSAMPROW row = pixels;
        for (int y = 0; y < height; ++y) {
            jpeg_read_scanlines(info, &row, 1);
            row += rowBytes;
        }
        jpeg_finish_decompress(info);
    });
    if (!completed)
        decoderFailed(decoder->errors.message);
    const bool truncated = reinterpret_cast<SourceManager*>(info->src)->ranOut;
    releaseDecoder();
    if (!layoutMatches)
        fail("JPEG decoder produced an unexpected layout");
    if (truncated)
        fail("Unexpected end of file");
    return 1;
}

int JpegCodec::save(Stream* target, int pictureWidth, int pictureHeight, const ptc::Format& pictureFormat,
                    ptc::Palette*, const std::uint8_t* pixels, const int* options) {
    const int quality = options ? *options : 75;
    if (pictureFormat.bytes() != 3)
        fail("Jpegs can only be saved from 24-bit Surfaces");
    if (!target || !pixels)
        fail("no stream or no pixels to save");
    // libjpeg's own limit; beyond it the encoder would end the process.
    if (pictureWidth <= 0 || pictureHeight <= 0 || pictureWidth > JPEG_MAX_DIMENSION ||
        pictureHeight > JPEG_MAX_DIMENSION)
        fail("Cannot save a JPEG of " + std::to_string(pictureWidth) + " x " + std::to_string(pictureHeight) +
             " pixels");

    const std::size_t rowBytes = 3 * static_cast<std::size_t>(pictureWidth);
    const bool blueFirst = pictureFormat.b() < pictureFormat.r();
    std::vector<std::uint8_t> swapped(blueFirst ? rowBytes : 0);

    auto encoder = std::make_unique<jpeg_compress_struct>();
    ErrorState errors;
    initErrorState(errors);
    encoder->err = &errors.manager;
    jpeg_create_compress(encoder.get());
    installDestination(encoder.get(), target);
    jpeg_compress_struct* info = encoder.get();
    std::uint8_t* swapRow = swapped.data();

    bool completed = guarded(errors, [&] {
        info->image_width = static_cast<JDIMENSION>(pictureWidth);
        info->image_height = static_cast<JDIMENSION>(pictureHeight);
        info->input_components = 3;
        info->in_color_space = JCS_RGB;
        jpeg_set_defaults(info);
        jpeg_set_quality(info, quality, TRUE);
        jpeg_start_compress(info, TRUE);
        for (int y = 0; y < pictureHeight; ++y) {
            const std::uint8_t* source = pixels + static_cast<std::size_t>(y) * rowBytes;
            JSAMPROW row;
            if (blueFirst) {
                for (std::size_t i = 0; i < rowBytes; i += 3) {
                    swapRow[i] = source[i + 2];
                    swapRow[i + 1] = source[i + 1];
                    swapRow[i + 2] = source[i];
                }
                row = swapRow;
            } else {
                row = const_cast<JSAMPROW>(source);
            }
            jpeg_write_scanlines(info, &row, 1);
        }
        jpeg_finish_compress(info);
    });
    std::string message = errors.message;
    jpeg_destroy_compress(info);
    if (!completed)
        reportFatal("JPEG encoder", message.c_str());
    return 1;
}
