// The generated data files: names, sizes, formats, the properties the show relies on (grey
// byte maps, full-range masks, wrapping height maps, one flat water level, looping movies) and
// the module's layout as libxmp reads it.

#include "GeneratedData.h"
#include "datagen/DataGenerator.h"
#include "image/PictureLoading.h"

#include <gtest/gtest.h>
#include <xmp.h>

#include <sys/file.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using testdata::sharedDataDirectory;

std::string dataPath(const std::string& name) { return sharedDataDirectory() + "/" + name; }

std::vector<std::uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Expected {
    std::string name;
    int width;
    int height; // 0: a grid movie, checked on its own
    bool grey;
};

// The show's file list, written out independently of the generator's catalogue.
std::vector<Expected> expectedPictures() {
    const std::set<int> square = {9, 10, 11, 19, 21, 22, 23, 24, 25, 26, 27, 28};
    const std::set<int> grey = {12, 13, 18, 24, 25, 26, 27, 32, 33, 34, 38, 39, 40, 43,
                                51, 52, 53, 54, 60, 61, 62, 63, 64, 66};
    std::vector<Expected> list;
    for (int i = 1; i <= 66; ++i) {
        if (i == 20)
            continue;
        std::string name = "x" + std::to_string(i) + (i >= 47 && i <= 64 ? ".JPG" : ".jpg");
        int width = 512, height = square.count(i) ? 512 : 384;
        if (i == 2)
            width = height = -1; // a strip of at least 256 pixels
        if (i == 7 || i == 8) {
            width = 129;
            height = 0;
        }
        list.push_back({name, width, height, grey.count(i) > 0});
    }
    list.push_back({"x26.pcx", 512, 512, true});
    list.push_back({"superBob.jpg", 8, 8, true});
    return list;
}

struct LoadedMap {
    int width = 0, height = 0;
    std::vector<std::uint8_t> bytes;
};

LoadedMap loadGrey(const std::string& name) {
    std::unique_ptr<Bitmap> bitmap(loadBitmap(dataPath(name).c_str()));
    ByteMap* bytes = loadByteMap(dataPath(name).c_str());
    LoadedMap map;
    map.width = bitmap->width;
    map.height = bitmap->height;
    map.bytes.assign(bytes, bytes + static_cast<std::size_t>(map.width) * map.height);
    delete[] bytes;
    return map;
}

int channel(std::uint32_t pixel, int shift) { return static_cast<int>((pixel >> shift) & 255); }

// Mean absolute step between two columns (or two rows) of a map, for every pair of neighbours
// inside the map and for the pair that meets across its edge. A map that wraps has no seam: the
// step across the edge is no larger than the largest step inside.
struct EdgeSteps {
    double largestInsideColumns = 0.0, acrossColumns = 0.0;
    double largestInsideRows = 0.0, acrossRows = 0.0;
};

EdgeSteps edgeSteps(const std::vector<int>& values, int width, int height) {
    auto columnStep = [&](int a, int b) {
        double sum = 0.0;
        for (int y = 0; y < height; ++y)
            sum += std::abs(values[y * width + a] - values[y * width + b]);
        return sum / height;
    };
    auto rowStep = [&](int a, int b) {
        double sum = 0.0;
        for (int x = 0; x < width; ++x)
            sum += std::abs(values[a * width + x] - values[b * width + x]);
        return sum / width;
    };
    EdgeSteps steps;
    for (int x = 0; x + 1 < width; ++x)
        steps.largestInsideColumns = std::max(steps.largestInsideColumns, columnStep(x, x + 1));
    for (int y = 0; y + 1 < height; ++y)
        steps.largestInsideRows = std::max(steps.largestInsideRows, rowStep(y, y + 1));
    steps.acrossColumns = columnStep(width - 1, 0);
    steps.acrossRows = rowStep(height - 1, 0);
    return steps;
}

std::vector<int> luminance(const Bitmap& bitmap) {
    std::vector<int> values(static_cast<std::size_t>(bitmap.width) * bitmap.height);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = channel(bitmap.pixels[i], 16) + channel(bitmap.pixels[i], 8) + channel(bitmap.pixels[i], 0);
    return values;
}

struct ModuleDeleter {
    void operator()(xmp_context context) const {
        xmp_release_module(context);
        xmp_free_context(context);
    }
};
using ModuleContext = std::unique_ptr<std::remove_pointer_t<xmp_context>, ModuleDeleter>;

ModuleContext loadModule() {
    xmp_context context = xmp_create_context();
    if (xmp_load_module(context, const_cast<char*>(dataPath("atbia3.xm").c_str())) != 0) {
        xmp_free_context(context);
        return nullptr;
    }
    return ModuleContext(context);
}

} // namespace

TEST(DataFiles, DirectoryHoldsExactlyTheShowsFiles) {
    std::set<std::string> expected = {"atbia3.xm"};
    for (const Expected& picture : expectedPictures())
        expected.insert(picture.name);
    ASSERT_EQ(expected.size(), 68u);
    std::set<std::string> found;
    for (const auto& entry : fs::directory_iterator(sharedDataDirectory()))
        found.insert(entry.path().filename().string());
    EXPECT_EQ(found, expected);
    std::vector<std::string> listed = datagen::dataFileNames();
    EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), expected);
}

TEST(DataFiles, PicturesAreJfifJpegsOrAnEightBitPcx) {
    for (const Expected& picture : expectedPictures()) {
        std::vector<std::uint8_t> bytes = readBytes(dataPath(picture.name));
        ASSERT_GT(bytes.size(), 128u) << picture.name;
        if (picture.name == "x26.pcx") {
            EXPECT_EQ(bytes[0], 10);     // PCX signature
            EXPECT_EQ(bytes[3], 8);      // bits per pixel
            EXPECT_EQ(bytes[65], 1);     // one plane: 8-bit indices
            EXPECT_EQ(bytes[bytes.size() - 769], 12); // the palette marker
        } else {
            EXPECT_EQ(bytes[0], 0xFF) << picture.name;
            EXPECT_EQ(bytes[1], 0xD8) << picture.name;
            EXPECT_EQ(std::string(bytes.begin() + 6, bytes.begin() + 10), "JFIF") << picture.name;
        }
    }
}

TEST(DataFiles, PicturesLoadAtTheirSizes) {
    for (const Expected& picture : expectedPictures()) {
        std::unique_ptr<Bitmap> bitmap(loadBitmap(dataPath(picture.name).c_str()));
        if (picture.width > 0) {
            EXPECT_EQ(bitmap->width, picture.width) << picture.name;
        }
        if (picture.height > 0) {
            EXPECT_EQ(bitmap->height, picture.height) << picture.name;
        }
        if (picture.name == "x2.jpg") {
            EXPECT_GE(bitmap->width, 256); // the palette is the top row's first 256 pixels
        }
        if (picture.grey) {
            ByteMap* bytes = loadByteMap(dataPath(picture.name).c_str());
            EXPECT_NE(bytes, nullptr) << picture.name;
            delete[] bytes;
        }
    }
}

// Every picture of the show is its own: no two files hold the same bytes.
TEST(DataFiles, NoTwoPicturesAreTheSame) {
    std::map<std::vector<std::uint8_t>, std::string> seen;
    for (const Expected& picture : expectedPictures()) {
        auto [where, isNew] = seen.emplace(readBytes(dataPath(picture.name)), picture.name);
        EXPECT_TRUE(isNew) << picture.name << " repeats " << where->second;
    }
}

TEST(DataFiles, ByteMapPicturesAreGrey) {
    for (const Expected& picture : expectedPictures()) {
        if (!picture.grey)
            continue;
        std::unique_ptr<Bitmap> bitmap(loadBitmap(dataPath(picture.name).c_str()));
        int worst = 0;
        for (int i = 0; i < bitmap->width * bitmap->height; ++i) {
            std::uint32_t p = bitmap->pixels[i];
            worst = std::max({worst, std::abs(channel(p, 16) - channel(p, 0)), std::abs(channel(p, 8) - channel(p, 0))});
        }
        EXPECT_LE(worst, 4) << picture.name;
    }
}

TEST(DataFiles, MasksFlowMapsAndHeightMapsSpanTheWholeRange) {
    for (const Expected& picture : expectedPictures()) {
        if (!picture.grey || picture.name == "superBob.jpg")
            continue;
        LoadedMap map = loadGrey(picture.name);
        auto [smallest, largest] = std::minmax_element(map.bytes.begin(), map.bytes.end());
        EXPECT_EQ(*smallest, 0) << picture.name;
        EXPECT_EQ(*largest, 255) << picture.name;
    }
}

TEST(DataFiles, MasksAreShapesNotNoise) {
    // A shape has long runs of fully opaque and fully clear pixels and few edges.
    for (const char* name : {"x18.jpg", "x32.jpg", "x33.jpg", "x34.jpg", "x38.jpg", "x39.jpg", "x40.jpg", "x43.jpg",
                             "x51.JPG", "x52.JPG", "x53.JPG", "x54.JPG", "x60.JPG", "x61.JPG", "x62.JPG", "x63.JPG",
                             "x64.JPG", "x66.jpg"}) {
        LoadedMap map = loadGrey(name);
        long clear = 0, opaque = 0, jumps = 0;
        for (std::size_t i = 0; i < map.bytes.size(); ++i) {
            clear += map.bytes[i] <= 2;
            opaque += map.bytes[i] >= 253;
            if (i % 512 != 511)
                jumps += std::abs(map.bytes[i + 1] - map.bytes[i]) > 64;
        }
        double total = static_cast<double>(map.bytes.size());
        EXPECT_GT(clear / total, 0.15) << name;
        EXPECT_GT(opaque / total, 0.10) << name;
        EXPECT_LT(jumps, 3000) << name;
    }
}

TEST(DataFiles, TerrainHasOneFlatWaterLevelCoveringTenToThirtyPercent) {
    LoadedMap map = loadGrey("x26.pcx");
    ASSERT_EQ(map.bytes.size(), 512u * 512u);
    std::array<long, 256> counts{};
    for (std::uint8_t value : map.bytes)
        ++counts[value];
    // The flight takes the most frequent value as its water level (ties keep the higher value).
    int water = 255;
    long best = 0;
    for (int value = 255; value >= 0; --value)
        if (counts[static_cast<std::size_t>(value)] > best) {
            best = counts[static_cast<std::size_t>(value)];
            water = value;
        }
    double share = static_cast<double>(best) / map.bytes.size();
    EXPECT_GE(share, 0.10);
    EXPECT_LE(share, 0.30);
    // Nothing else comes close: the water is the only large flat area.
    long runnerUp = 0;
    for (int value = 0; value < 256; ++value)
        if (value != water)
            runnerUp = std::max(runnerUp, counts[static_cast<std::size_t>(value)]);
    EXPECT_LT(runnerUp * 4, best);
}

TEST(DataFiles, HeightMapsAndTexturesWrapAtTheirEdges) {
    for (const char* name : {"x24.jpg", "x25.jpg", "x26.jpg", "x27.jpg", "x26.pcx"}) {
        LoadedMap map = loadGrey(name);
        std::vector<int> values(map.bytes.begin(), map.bytes.end());
        EdgeSteps steps = edgeSteps(values, map.width, map.height);
        EXPECT_LE(steps.acrossColumns, steps.largestInsideColumns) << name;
        EXPECT_LE(steps.acrossRows, steps.largestInsideRows) << name;
    }
    for (const char* name : {"x10.jpg", "x11.jpg", "x21.jpg", "x22.jpg", "x23.jpg", "x28.jpg", "x19.jpg"}) {
        std::unique_ptr<Bitmap> bitmap(loadBitmap(dataPath(name).c_str()));
        EdgeSteps steps = edgeSteps(luminance(*bitmap), bitmap->width, bitmap->height);
        EXPECT_LE(steps.acrossColumns, steps.largestInsideColumns) << name;
        EXPECT_LE(steps.acrossRows, steps.largestInsideRows) << name;
    }
}

TEST(DataFiles, GridMoviesHoldWholeFramesAndLoopSmoothly) {
    for (const char* name : {"x7.jpg", "x8.jpg"}) {
        std::unique_ptr<Bitmap> bitmap(loadBitmap(dataPath(name).c_str()));
        ASSERT_EQ(bitmap->width, 129) << name;
        ASSERT_EQ(bitmap->height % 97, 0) << name;
        int frames = bitmap->height / 97;
        EXPECT_GE(frames, 256) << name;
        const int frameSize = 129 * 97;
        auto difference = [&](int a, int b) {
            long sum = 0;
            for (int i = 0; i < frameSize; ++i) {
                std::uint32_t p = bitmap->pixels[a * frameSize + i], q = bitmap->pixels[b * frameSize + i];
                for (int shift : {0, 8, 16})
                    sum += std::abs(channel(p, shift) - channel(q, shift));
            }
            return static_cast<double>(sum) / frameSize;
        };
        double typical = (difference(10, 11) + difference(100, 101) + difference(200, 201)) / 3.0;
        EXPECT_GT(typical, 1.0) << name << " does not move";
        EXPECT_LT(difference(frames - 1, 0), typical * 2.0 + 2.0) << name << " jumps where it loops";
        EXPECT_GT(difference(0, frames / 2), typical * 2.0) << name;
    }
}

TEST(DataFiles, SpriteGlowsBrightestInCellThreeThree) {
    LoadedMap sprite = loadGrey("superBob.jpg");
    ASSERT_EQ(sprite.width, 8);
    ASSERT_EQ(sprite.height, 8);
    auto brightest = std::max_element(sprite.bytes.begin(), sprite.bytes.end());
    EXPECT_EQ(brightest - sprite.bytes.begin(), 3 * 8 + 3);
    EXPECT_GE(*brightest, 240);
    EXPECT_LE(sprite.bytes[0], 16); // dark in the corners
}

TEST(DataFiles, FractalPaletteIsASmoothCycle) {
    std::unique_ptr<Bitmap> strip(loadBitmap(dataPath("x2.jpg").c_str()));
    int largestStep = 0;
    for (int i = 0; i < 256; ++i) {
        std::uint32_t p = strip->pixels[i], q = strip->pixels[(i + 1) & 255];
        int step = 0;
        for (int shift : {0, 8, 16})
            step += std::abs(channel(p, shift) - channel(q, shift));
        largestStep = std::max(largestStep, step);
    }
    EXPECT_LT(largestStep, 40); // includes the step from entry 255 back to entry 0
}

TEST(DataFiles, TwoRunsWriteTheSameBytes) {
    // A second run of a sample of every kind of file (the full run is in the shared directory):
    // colour and grey JPEGs, the PCX, a grid movie and the module, with one thread this time.
    fs::path directory = fs::temp_directory_path() / ("velmora-data-again-" + std::to_string(::getpid()));
    datagen::GeneratorOptions options;
    options.directory = directory.string();
    options.threads = 1;
    options.only = {"x1.jpg", "x9.jpg", "x12.jpg", "x19.jpg", "x26.pcx", "x28.jpg", "x39.jpg", "x8.jpg", "x59.JPG",
                    "superBob.jpg", "atbia3.xm"};
    datagen::generateData(options);
    for (const std::string& name : options.only)
        EXPECT_EQ(readBytes((directory / name).string()), readBytes(dataPath(name))) << name;
    fs::remove_all(directory);
}

TEST(DataFiles, GeneratorRefusesUnknownNamesAndUnwritableDirectories) {
    datagen::GeneratorOptions unknown;
    unknown.directory = (fs::temp_directory_path() / "velmora-data-unknown").string();
    unknown.only = {"x20.jpg"};
    EXPECT_THROW(datagen::generateData(unknown), std::runtime_error);

    fs::path blocker = fs::temp_directory_path() / ("velmora-data-file-" + std::to_string(::getpid()));
    std::ofstream(blocker) << "a file, not a directory";
    datagen::GeneratorOptions blocked;
    blocked.directory = (blocker / "Data").string();
    blocked.only = {"superBob.jpg"};
    try {
        datagen::generateData(blocked);
        ADD_FAILURE() << "no error for an unwritable directory";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("Data"), std::string::npos) << error.what();
    }
    fs::remove(blocker);
}

TEST(DataModule, LoadsWithTheOrdersRowsAndInstrumentsTheCuesNeed) {
    ModuleContext module = loadModule();
    ASSERT_TRUE(module);
    xmp_module_info info;
    xmp_get_module_info(module.get(), &info);
    const xmp_module* mod = info.mod;
    EXPECT_GE(mod->len, 52);
    EXPECT_LE(mod->rst, 49); // the finale's cues at orders 49 and 51 come round again
    EXPECT_GE(mod->ins, 33);
    for (int order = 0; order < mod->len; ++order) {
        int rows = mod->xxp[mod->xxo[order]]->rows;
        EXPECT_GE(rows, order == 35 ? 73 : 64) << "order " << order;
    }
}

TEST(DataModule, InstrumentsThatSteerThePicturesPlayWhereTheyShould) {
    ModuleContext module = loadModule();
    ASSERT_TRUE(module);
    xmp_module_info info;
    xmp_get_module_info(module.get(), &info);
    const xmp_module* mod = info.mod;
    auto eventsOf = [&](int order, int row) {
        std::vector<xmp_event> events;
        const xmp_pattern* pattern = mod->xxp[mod->xxo[order]];
        for (int channel = 0; channel < mod->chn; ++channel) {
            const xmp_track* track = mod->xxt[pattern->index[channel]];
            if (row < track->rows)
                events.push_back(track->event[row]);
        }
        return events;
    };
    // The struck hit (instrument 33) falls on every beat of orders 1 to 8.
    for (int order = 1; order <= 8; ++order)
        for (int row = 0; row < 64; row += 4) {
            std::vector<xmp_event> events = eventsOf(order, row);
            bool hit = std::any_of(events.begin(), events.end(),
                                   [](const xmp_event& e) { return e.ins == 33 && e.note > 0 && e.note < 0x80; });
            EXPECT_TRUE(hit) << "order " << order << " row " << row;
        }
    // Each of instruments 19 to 24 plays in orders 9 to 13, and none of them anywhere else.
    std::set<int> heard;
    for (int order = 0; order < mod->len; ++order)
        for (int row = 0; row < mod->xxp[mod->xxo[order]]->rows; ++row)
            for (const xmp_event& event : eventsOf(order, row))
                if (event.ins >= 19 && event.ins <= 24 && event.note > 0) {
                    EXPECT_TRUE(order >= 9 && order <= 13) << "instrument " << int(event.ins) << " in order " << order;
                    heard.insert(event.ins);
                }
    EXPECT_EQ(heard, (std::set<int>{19, 20, 21, 22, 23, 24}));
}

TEST(DataModule, OnePassLastsSixToSevenMinutesWithoutClippingAtTheShowsVolume) {
    ModuleContext module = loadModule();
    ASSERT_TRUE(module);
    ASSERT_EQ(xmp_start_player(module.get(), 44100, 0), 0);
    // The show plays at amplification 75 of 50 for unity: libxmp volume 150.
    xmp_set_player(module.get(), XMP_PLAYER_VOLUME, 150);
    long frames = 0;
    int peak = 0;
    xmp_frame_info frame;
    while (xmp_play_frame(module.get()) == 0) {
        xmp_get_frame_info(module.get(), &frame);
        if (frame.loop_count > 0)
            break;
        const std::int16_t* samples = static_cast<const std::int16_t*>(frame.buffer);
        for (int i = 0; i < frame.buffer_size / 2; ++i)
            peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
        frames += frame.buffer_size / 4;
    }
    xmp_end_player(module.get());
    double seconds = frames / 44100.0;
    EXPECT_GE(seconds, 360.0);
    EXPECT_LE(seconds, 420.0);
    EXPECT_LT(peak, 32000);
    EXPECT_GT(peak, 8000); // and not so quiet that it is lost
}

// A mistake on velmora-data's command line is one line naming the program, and status 1.
TEST(DataTool, CommandLineMistakesAreOneLineAndStatusOne) {
    for (const std::string arguments : {"--bogus", "--threads 3", "--threads", "extra"}) {
        std::string command = "'" VELMORA_BINARY_DIR "/velmora-data' " + arguments + " 2>&1";
        std::FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string said;
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe))
            said += buffer;
        int status = pclose(pipe);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << arguments << ": status " << status;
        EXPECT_EQ(said.rfind("velmora-data: ", 0), 0u) << said;
        EXPECT_EQ(said.find('\n'), said.size() - 1) << "one line: " << said;
    }
}
