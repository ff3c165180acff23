#include "show/ShowAssets.h"

#include "core/ShowObjects.h"
#include "effects/CrossFadeLayer.h"
#include "effects/FadeToBlackLayer.h"
#include "effects/FadeToWhiteLayer.h"
#include "effects/FeedbackMapLayer.h"
#include "effects/GridMovieLayer.h"
#include "effects/IfsFractalLayer.h"
#include "effects/LensLayer.h"
#include "effects/LoadingGaugeLayer.h"
#include "effects/MaskedFadeLayer.h"
#include "effects/MaskedPictureLayer.h"
#include "effects/NoiseLayer.h"
#include "effects/ParticleFlowLayer.h"
#include "effects/ParticleRingLayer.h"
#include "effects/ParticleStreamsLayer.h"
#include "effects/PictureLayer.h"
#include "effects/PolarVoxelLayer.h"
#include "effects/SwirlMapLayer.h"
#include "effects/TerrainLayer.h"
#include "effects/WarpLayer.h"
#include "image/JpegMessagesAsErrors.h"
#include "image/PictureLoading.h"
#include "platform/ptc/Error.h"
#include "show/ShowLayers.h"
#include "timeline/LayerList.h"

#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

// The size a picture must have: `width` exactly, at least `height` rows (a taller picture is read
// as its top rows). The layers read pictures with fixed row lengths, so a wrong size is refused
// here, where the file name is known.
struct PictureSize {
    int width;
    int height;
};

constexpr PictureSize screenSize{512, 384};
constexpr PictureSize mapSize{512, 512};
constexpr PictureSize spriteSize{8, 7};
// Grid movies need one 129 x 97 frame at least; their layer checks the pixel count.
constexpr PictureSize gridMovieSize{129, 97};
// The fractal's palette is the first 256 pixels; its layer checks the pixel count.
constexpr PictureSize anySize{0, 0};

// Pictures by file name (without "Data/"), as the construction table names them. Like the
// pictures, the tables are never destroyed: they keep the records reachable until the process
// ends, so leak checkers do not take them for lost.
std::map<std::string, Bitmap*>& bitmaps = *new std::map<std::string, Bitmap*>();
std::map<std::string, ByteMap*>& byteMaps = *new std::map<std::string, ByteMap*>();

void requireSize(const std::string& path, int width, int height, PictureSize needed) {
    if (needed.width == 0)
        return;
    if (width == needed.width && height >= needed.height)
        return;
    throw ptc::DynamicError(path + ": picture is " + std::to_string(width) + " x " + std::to_string(height) +
                            " pixels, needs " + std::to_string(needed.width) + " x " +
                            std::to_string(needed.height));
}

// Runs a loader; its error names the file, unless the library's message names it already.
template <class Loader> auto namingFile(const std::string& path, Loader load) {
    try {
        return load();
    } catch (const ptc::DynamicError& error) {
        std::string message = error.what();
        if (message.find(path) != std::string::npos)
            throw;
        throw ptc::DynamicError(path + ": " + message);
    }
}

// "B": a 32-bit picture.
void loadPicture(const std::string& name, PictureSize needed) {
    std::string path = "Data/" + name;
    std::unique_ptr<Bitmap> bitmap(namingFile(path, [&] { return loadBitmap(path.c_str()); }));
    requireSize(path, bitmap->width, bitmap->height, needed);
    bitmaps[name] = bitmap.release();
}

// "M": a byte map (the blue channel).
void loadMap(const std::string& name, PictureSize needed) {
    std::string path = "Data/" + name;
    int width = 0;
    int height = 0;
    std::unique_ptr<ByteMap[]> map(
        namingFile(path, [&] { return loadByteMap(path.c_str(), width, height); }));
    requireSize(path, width, height, needed);
    byteMaps[name] = map.release();
}

Bitmap& picture(const std::string& name) { return *bitmaps.at(name); }
ByteMap* map(const std::string& name) { return byteMaps.at(name); }

struct LoadingStep {
    int number; // the loading screen shows number / 100 after it
    std::function<void()> action;
};

struct ConstructionGroup {
    std::function<void()> action; // may be empty
    std::vector<double> fractions;
};

// One step per picture, each numbered after the one before.
void addPictures(std::vector<LoadingStep>& steps, int& number, std::initializer_list<const char*> names,
                 PictureSize needed) {
    for (const char* name : names)
        steps.push_back({number++, [name = std::string(name), needed] { loadPicture(name, needed); }});
}

void addMaps(std::vector<LoadingStep>& steps, int& number, std::initializer_list<const char*> names,
             PictureSize needed) {
    for (const char* name : names)
        steps.push_back({number++, [name = std::string(name), needed] { loadMap(name, needed); }});
}

void addStep(std::vector<LoadingStep>& steps, int& number, std::function<void()> action) {
    steps.push_back({number++, std::move(action)});
}

// The loading table: pictures in the order the show needs them, and the layers built as soon as
// their pictures are in.
std::vector<LoadingStep> loadingTable() {
    std::vector<LoadingStep> steps;
    int number = 0;
    addStep(steps, number, [] {
        loadPicture("x1.jpg", screenSize);
        loadingGauge = new LoadingGaugeLayer(picture("x1.jpg"));
    });
    addPictures(steps, number, {"x2.jpg"}, anySize);
    addPictures(steps, number, {"x3.jpg", "x4.jpg", "x5.jpg", "x6.jpg"}, screenSize);
    addPictures(steps, number, {"x7.jpg", "x8.jpg"}, gridMovieSize);
    addPictures(steps, number, {"x9.jpg"}, mapSize);
    // The first load of x10 is not kept: the lens uses the second.
    addStep(steps, number, [] { delete namingFile("Data/x10.jpg", [] { return loadBitmap("Data/x10.jpg"); }); });
    addPictures(steps, number, {"x10.jpg", "x11.jpg"}, mapSize);
    addMaps(steps, number, {"x12.jpg", "x13.jpg"}, screenSize);
    addPictures(steps, number, {"x14.jpg", "x15.jpg", "x16.jpg", "x17.jpg"}, screenSize);
    addMaps(steps, number, {"x18.jpg"}, screenSize);
    addPictures(steps, number, {"x19.jpg"}, mapSize);
    // There is no x20: the terrain's heights come from the one PCX file.
    addMaps(steps, number, {"x26.pcx"}, mapSize);
    addPictures(steps, number, {"x21.jpg", "x22.jpg", "x23.jpg"}, mapSize);
    addMaps(steps, number, {"x24.jpg", "x25.jpg", "x26.jpg", "x27.jpg"}, mapSize);
    addStep(steps, number, [] {
        polarVoxel = new PolarVoxelLayer(picture("x21.jpg"), picture("x22.jpg"), picture("x23.jpg"), map("x24.jpg"),
                                         map("x25.jpg"), map("x26.jpg"), map("x27.jpg"));
    });
    addStep(steps, number, [] { picture16 = new PictureLayer(picture("x16.jpg")); });
    addPictures(steps, number, {"x28.jpg"}, mapSize);
    addPictures(steps, number, {"x29.jpg", "x30.jpg", "x31.jpg"}, screenSize);
    addMaps(steps, number, {"x32.jpg", "x33.jpg", "x34.jpg"}, screenSize);
    addPictures(steps, number, {"x35.jpg", "x36.jpg", "x37.jpg"}, screenSize);
    addMaps(steps, number, {"x38.jpg", "x39.jpg", "x40.jpg"}, screenSize);
    addPictures(steps, number, {"x41.jpg", "x42.jpg"}, screenSize);
    addMaps(steps, number, {"x43.jpg"}, screenSize);
    addPictures(steps, number, {"x44.jpg"}, screenSize);
    addStep(steps, number, [] { maskedPicture42 = new MaskedPictureLayer(picture("x42.jpg"), map("x43.jpg")); });
    addStep(steps, number, [] { picture41 = new PictureLayer(picture("x41.jpg")); });
    addStep(steps, number, [] { crossFadeScreenTo44 = new CrossFadeLayer(screen, picture("x44.jpg")); });
    addPictures(steps, number, {"x45.jpg", "x46.jpg"}, screenSize);
    addPictures(steps, number, {"x47.JPG", "x48.JPG", "x49.JPG", "x50.JPG"}, screenSize);
    addMaps(steps, number, {"x51.JPG", "x52.JPG", "x53.JPG", "x54.JPG"}, screenSize);
    addPictures(steps, number, {"x55.JPG", "x56.JPG", "x57.JPG", "x58.JPG", "x59.JPG"}, screenSize);
    addMaps(steps, number, {"x60.JPG", "x61.JPG", "x62.JPG", "x63.JPG", "x64.JPG"}, screenSize);
    addPictures(steps, number, {"x65.jpg"}, screenSize);
    addMaps(steps, number, {"x66.jpg"}, screenSize);
    addStep(steps, number, [] {
        crossFade14to15 = new CrossFadeLayer(picture("x14.jpg"), picture("x15.jpg"));
        crossFade15toScreen = new CrossFadeLayer(picture("x15.jpg"), screen);
        noise = new NoiseLayer;
    });
    addStep(steps, number, [] {
        maskFade17to29 = new MaskedFadeLayer(picture("x17.jpg"), picture("x29.jpg"), map("x18.jpg"), map("x32.jpg"));
        maskFade29to30 = new MaskedFadeLayer(picture("x29.jpg"), picture("x30.jpg"), map("x32.jpg"), map("x33.jpg"));
        maskFade30to31 = new MaskedFadeLayer(picture("x30.jpg"), picture("x31.jpg"), map("x33.jpg"), map("x34.jpg"));
    });
    addStep(steps, number, [] {
        maskFade31to35 = new MaskedFadeLayer(picture("x31.jpg"), picture("x35.jpg"), map("x34.jpg"), map("x38.jpg"));
        maskFade35to36 = new MaskedFadeLayer(picture("x35.jpg"), picture("x36.jpg"), map("x38.jpg"), map("x39.jpg"));
        maskFade36to37 = new MaskedFadeLayer(picture("x36.jpg"), picture("x37.jpg"), map("x39.jpg"), map("x40.jpg"));
    });
    addStep(steps, number, [] {
        crossFadeScreenTo45 = new CrossFadeLayer(screen, picture("x45.jpg"));
        crossFadeScreenTo46a = new CrossFadeLayer(screen, picture("x46.jpg"));
        crossFadeScreenTo46b = new CrossFadeLayer(screen, picture("x46.jpg"));
        maskFadeScreenTo65 = new MaskedFadeLayer(screen, picture("x65.jpg"), map("x66.jpg"), map("x66.jpg"));
        maskFadeScreenTo47 = new MaskedFadeLayer(screen, picture("x47.JPG"), map("x51.JPG"), map("x51.JPG"));
        maskFade47to48 = new MaskedFadeLayer(picture("x47.JPG"), picture("x48.JPG"), map("x51.JPG"), map("x52.JPG"));
        maskFade48to49 = new MaskedFadeLayer(picture("x48.JPG"), picture("x49.JPG"), map("x52.JPG"), map("x53.JPG"));
        maskFade49to50 = new MaskedFadeLayer(picture("x49.JPG"), picture("x50.JPG"), map("x53.JPG"), map("x54.JPG"));
    });
    addStep(steps, number, [] {
        maskFade65to55 = new MaskedFadeLayer(picture("x65.jpg"), picture("x55.JPG"), map("x66.jpg"), map("x60.JPG"));
        maskFade55to56 = new MaskedFadeLayer(picture("x55.JPG"), picture("x56.JPG"), map("x60.JPG"), map("x61.JPG"));
        maskFade56to57 = new MaskedFadeLayer(picture("x56.JPG"), picture("x57.JPG"), map("x61.JPG"), map("x62.JPG"));
        maskFade57to58 = new MaskedFadeLayer(picture("x57.JPG"), picture("x58.JPG"), map("x62.JPG"), map("x63.JPG"));
        maskFade58to59 = new MaskedFadeLayer(picture("x58.JPG"), picture("x59.JPG"), map("x63.JPG"), map("x64.JPG"));
        maskFade59toScreen = new MaskedFadeLayer(picture("x59.JPG"), screen, map("x64.JPG"), map("x64.JPG"));
        feedbackMap = new FeedbackMapLayer(picture("x3.jpg"), picture("x4.jpg"), picture("x5.jpg"), picture("x6.jpg"));
        swirl28a = new SwirlMapLayer(picture("x28.jpg"));
        swirl28b = new SwirlMapLayer(picture("x28.jpg"));
    });
    addStep(steps, number, [] {
        gridMovie7 = new GridMovieLayer(picture("x7.jpg"), 30.0);
        gridMovie8 = new GridMovieLayer(picture("x8.jpg"), 30.0);
    });
    addStep(steps, number, [] { layerList = new LayerList; });
    return steps;
}

// After the player's version check: the layers that need no picture of the loading table, or
// the sprite, with the fractions the loading screen shows after each group.
std::vector<ConstructionGroup> constructionTable() {
    return {
        {{}, {0.79, 0.83}},
        {[] { lens = new LensLayer(picture("x11.jpg"), picture("x10.jpg"), picture("x16.jpg")); }, {0.85, 0.87}},
        {[] {
             loadMap("superBob.jpg", spriteSize);
             particleFlow = new ParticleFlowLayer(8000, map("x12.jpg"), map("x13.jpg"), nullptr, nullptr,
                                                  map("superBob.jpg"));
         },
         {0.89}},
        {[] {
             particleStreams = new ParticleStreamsLayer(16000);
             particleRing = new ParticleRingLayer(16000);
         },
         {0.91}},
        {[] { ifsFractal = new IfsFractalLayer(40000, picture("x2.jpg")); }, {0.92}},
        {[] { warp = new WarpLayer(picture("x9.jpg")); }, {0.94}},
        {[] {
             fadeToBlack = new FadeToBlackLayer;
             fadeToWhite = new FadeToWhiteLayer;
             terrain = new TerrainLayer(picture("x19.jpg"), map("x26.pcx"));
             warp->retireOnFirstFrame(terrain, maskedPicture42);
         },
         {0.96, 0.97}},
    };
}

} // namespace

void runLoadingPhase(const ProgressDisplay& showProgress) {
    [[maybe_unused]] JpegMessagesAsErrors jpegMessages;
    for (const LoadingStep& step : loadingTable()) {
        step.action();
        showProgress(step.number / 100.0);
    }
}

void runConstructionPhase(const ProgressDisplay& showProgress) {
    [[maybe_unused]] JpegMessagesAsErrors jpegMessages;
    for (const ConstructionGroup& group : constructionTable()) {
        if (group.action)
            group.action();
        for (double fraction : group.fractions)
            showProgress(fraction);
    }
}

LoadingGaugeLayer* newLoadingGauge() {
    [[maybe_unused]] JpegMessagesAsErrors jpegMessages;
    const std::string path = "Data/x1.jpg";
    std::unique_ptr<Bitmap> picture(namingFile(path, [&] { return loadBitmap(path.c_str()); }));
    requireSize(path, picture->width, picture->height, screenSize);
    return new LoadingGaugeLayer(*picture.release());
}
