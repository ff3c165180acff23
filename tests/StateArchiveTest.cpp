#include "core/StateArchive.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace {

// A class's state as archiveState functions list it: values, an array, a buffer, a vector of
// structs and a pointer into its own storage.
struct Sample {
    struct Point {
        std::int32_t x, y;
    };
    double time = -1.0;
    bool flag = true;
    std::int32_t values[3] = {1, 2, 3};
    std::array<std::uint32_t, 5> pixels{};
    std::vector<Point> points;
    int slots[4] = {};
    int* chosen = nullptr;

    void archiveState(StateArchive& archive) {
        archive(time, flag, values);
        archive.buffer(pixels.data(), pixels.size());
        archive.vector(points);
        archive.pointerInto(chosen, {&slots[0], &slots[1], &slots[2], &slots[3]});
    }
};

std::vector<std::uint8_t> saved(Sample& sample) {
    std::vector<std::uint8_t> bytes;
    StateArchive archive = StateArchive::saving(bytes);
    sample.archiveState(archive);
    return bytes;
}

void restore(Sample& sample, const std::vector<std::uint8_t>& bytes) {
    StateArchive archive = StateArchive::restoring(bytes);
    sample.archiveState(archive);
    EXPECT_TRUE(archive.atEnd());
}

} // namespace

TEST(StateArchive, RestoresValuesVectorsAndPointersIntoAnotherInstance) {
    Sample original;
    original.time = 12.5;
    original.flag = false;
    original.values[2] = -7;
    original.pixels = {5, 4, 3, 2, 0xFFFFFFFF};
    original.points = {{1, -1}, {2, -2}, {3, -3}};
    original.chosen = &original.slots[2];
    std::vector<std::uint8_t> bytes = saved(original);

    Sample copy;
    copy.points = {{9, 9}}; // a different length: the archived one wins
    restore(copy, bytes);
    EXPECT_EQ(copy.time, 12.5);
    EXPECT_FALSE(copy.flag);
    EXPECT_EQ(copy.values[2], -7);
    EXPECT_EQ(copy.pixels, original.pixels);
    ASSERT_EQ(copy.points.size(), 3u);
    EXPECT_EQ(copy.points[2].y, -3);
    EXPECT_EQ(copy.chosen, &copy.slots[2]) << "the pointer must name the copy's own slot";

    // Saving the copy gives the same bytes: nothing of the address is in them.
    EXPECT_EQ(saved(copy), bytes);
}

TEST(StateArchive, RestoresANullPointerAndAnEmptyVector) {
    Sample original;
    std::vector<std::uint8_t> bytes = saved(original);
    Sample copy;
    copy.chosen = &copy.slots[0];
    copy.points = {{1, 1}};
    restore(copy, bytes);
    EXPECT_EQ(copy.chosen, nullptr);
    EXPECT_TRUE(copy.points.empty());
}

TEST(StateArchive, RefusesAPointerToSomethingElse) {
    Sample original;
    int elsewhere = 0;
    original.chosen = &elsewhere;
    EXPECT_THROW(saved(original), ptc::DynamicError);
}

TEST(StateArchive, RefusesShortOrDamagedBytes) {
    Sample original;
    original.points = {{1, 2}, {3, 4}};
    original.chosen = &original.slots[1];
    std::vector<std::uint8_t> bytes = saved(original);
    Sample copy;

    std::vector<std::uint8_t> cut(bytes.begin(), bytes.end() - 1);
    EXPECT_THROW(restore(copy, cut), ptc::DynamicError);
    cut.resize(12); // inside the first values
    EXPECT_THROW(restore(copy, cut), ptc::DynamicError);

    // The pointer's index is the last four bytes.
    std::vector<std::uint8_t> badIndex = bytes;
    badIndex.back() = 0x7F;
    EXPECT_THROW(restore(copy, badIndex), ptc::DynamicError);

    // A vector length far beyond the bytes must not allocate it. The length follows
    // time (8), flag (1), values (12) and pixels (20).
    std::vector<std::uint8_t> hugeLength = bytes;
    hugeLength[8 + 1 + 12 + 20 + 7] = 0x10;
    EXPECT_THROW(restore(copy, hugeLength), ptc::DynamicError);
}

TEST(StateArchive, LeftoverBytesAreReported) {
    Sample original;
    std::vector<std::uint8_t> bytes = saved(original);
    bytes.push_back(0);
    Sample copy;
    StateArchive archive = StateArchive::restoring(bytes);
    copy.archiveState(archive);
    EXPECT_FALSE(archive.atEnd());
}
