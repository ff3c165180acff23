#include "effects/SparkTrails.h"

#include "core/BandPool.h"
#include "core/PixelOps.h"
#include "core/RowWavefront.h"
#include "core/SimdLevel.h"
#include "effects/Avx2Loops.h"
#include "effects/GlowDotBands.h"
#include "effects/GlowDots.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <emmintrin.h>

namespace {

// (a * b - c * d) >> 13 and (a * b + c * d) >> 13 with products and sums wrapping modulo 2^32.
std::int32_t turnDifference(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d) {
    std::uint32_t value = static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b) -
                          static_cast<std::uint32_t>(c) * static_cast<std::uint32_t>(d);
    return static_cast<std::int32_t>(value) >> 13;
}

std::int32_t turnSum(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d) {
    std::uint32_t value = static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b) +
                          static_cast<std::uint32_t>(c) * static_cast<std::uint32_t>(d);
    return static_cast<std::int32_t>(value) >> 13;
}

// The number of accumulation pixels the add touches for this target.
int trailPixelCount(const Bitmap& target) {
    if (target.width <= 0 || target.height <= 0)
        return 0;
    return static_cast<int>(std::min<std::int64_t>(std::int64_t{target.width} * target.height, trailPixels));
}

} // namespace

SparkRotation::SparkRotation(const SineTable& table, int angleX, int angleY, int angleZ)
    : sinX(table.sin(angleX)), cosX(table.cos(angleX)), sinY(table.sin(angleY)), cosY(table.cos(angleY)),
      sinZ(table.sin(angleZ)), cosZ(table.cos(angleZ)) {}

SparkParticle SparkRotation::turned(const SparkParticle& particle) const {
    std::int32_t a = turnDifference(particle.x, cosZ, particle.y, sinZ);
    std::int32_t u = turnSum(particle.y, cosZ, particle.x, sinZ);
    std::int32_t x = turnDifference(a, cosY, particle.z, sinY);
    std::int32_t v = turnSum(particle.z, cosY, a, sinY);
    std::int32_t y = turnDifference(u, cosX, v, sinX);
    std::int32_t z = turnSum(u, sinX, v, cosX);
    return SparkParticle(x, y, z, 0, 0, 0, particle.colour & colourMask, 0);
}

void SparkRotation::turnInto(const SparkParticle* particles, int count, std::int32_t* x, std::int32_t* y,
                             std::int32_t* z, std::uint32_t* colours) const {
    int done = 0;
    if constexpr (avx2Built) {
        if (simdLevel() >= SimdLevel::avx2) {
            const std::int32_t sinesAndCosines[6] = {sinX, cosX, sinY, cosY, sinZ, cosZ};
            done = turnSparksAvx2(sinesAndCosines, particles, count, x, y, z, colours);
        }
    }
    for (int i = done; i < count; ++i) {
        SparkParticle spark = turned(particles[i]);
        x[i] = spark.x;
        y[i] = spark.y;
        z[i] = spark.z;
        colours[i] = spark.colour;
    }
}

namespace {

// The turned sparks of a frame and their dots, kept per drawing thread from frame to frame.
struct TurnedSparks {
    std::vector<std::int32_t> x, y, z;
    std::vector<std::uint32_t> colours;
    GlowDotScratch dots;

    void reserve(int total) {
        if (static_cast<int>(x.size()) < total) {
            x.resize(total);
            y.resize(total);
            z.resize(total);
            colours.resize(total);
        }
        dots.reserve(total);
    }

    // Particles [begin, end) turned into the arrays.
    void turn(const SparkRotation& rotation, const std::vector<SparkParticle>& particles, int begin, int end) {
        rotation.turnInto(particles.data() + begin, end - begin, x.data() + begin, y.data() + begin,
                          z.data() + begin, colours.data() + begin);
    }
};

// The drawing thread's scratch. Inside the bands, the reference the caller took is the one to use.
TurnedSparks& drawingThreadScratch() {
    thread_local TurnedSparks scratch;
    return scratch;
}

void drawTurnedSparksInBands(Bitmap& trails, const SparkRotation& rotation,
                             const std::vector<SparkParticle>& particles) {
    TurnedSparks& turned = drawingThreadScratch();
    int total = static_cast<int>(particles.size());
    turned.reserve(total);
    bandPool().forEachBand(total, [&](int begin, int end) { turned.turn(rotation, particles, begin, end); });
    addGlowDotsInBands(
        trails, GlowDotBatch{turned.x.data(), turned.y.data(), turned.z.data(), turned.colours.data(), total},
        16002, 4096, 2, turned.dots);
}

} // namespace

void drawTurnedSparks(Bitmap& trails, const SparkRotation& rotation,
                      const std::vector<SparkParticle>& particles) {
    if (bandPool().bands() > 1)
        return drawTurnedSparksInBands(trails, rotation, particles);
    constexpr int batchSize = 512;
    std::int32_t x[batchSize], y[batchSize], z[batchSize];
    std::uint32_t colours[batchSize];
    int total = static_cast<int>(particles.size());
    for (int start = 0; start < total; start += batchSize) {
        int count = std::min(batchSize, total - start);
        rotation.turnInto(particles.data() + start, count, x, y, z, colours);
        addGlowDots(trails, GlowDotBatch{x, y, z, colours, count}, 16002, 4096, 2);
    }
}

namespace {

// Moves particles [begin, end) a step and lists the spent ones from spent[begin] on, ended by -1
// when short.
void stepSparkBand(std::vector<SparkParticle>& particles, std::vector<int>& spent, int begin, int end) {
    int listed = begin;
    for (int i = begin; i < end; ++i) {
        particles[i].step();
        if (particles[i].life <= 0)
            spent[listed++] = i;
    }
    if (listed < end)
        spent[listed] = -1;
}

// Gathers the bands' lists of stepSparkBand, in order, to the front of `spent`; band b ran
// [bandStart(b), bandStart(b + 1)).
template <class BandStart> void gatherSpent(std::vector<int>& spent, int bands, BandStart bandStart) {
    int count = 0;
    for (int band = 0; band < bands; ++band) {
        int end = bandStart(band + 1);
        for (int k = bandStart(band); k < end && spent[k] >= 0; ++k)
            spent[count++] = spent[k];
    }
    spent.resize(count);
}

} // namespace

void stepSparks(std::vector<SparkParticle>& particles, std::vector<int>& spent) {
    const int total = static_cast<int>(particles.size());
    spent.resize(particles.size());
    BandPool& pool = bandPool();
    pool.forEachBand(total, [&](int begin, int end) { stepSparkBand(particles, spent, begin, end); });
    const int bands = pool.bands();
    gatherSpent(spent, bands, [&](int band) { return BandPool::bandStart(total, band, bands); });
}

void addTrailsPlain(Bitmap& target, const std::uint32_t* accumulation) {
    int count = trailPixelCount(target);
    for (int i = 0; i < count; ++i)
        target.pixels[i] = addSaturateBytes(target.pixels[i], accumulation[i]);
}

namespace {

// Pixels [begin, end) of addTrails, four at a time.
void addTrailsSse2(std::uint32_t* target, const std::uint32_t* accumulation, int begin, int end) {
    int i = begin;
    for (; i + 4 <= end; i += 4) {
        __m128i screen = _mm_loadu_si128(reinterpret_cast<const __m128i*>(target + i));
        __m128i trail = _mm_loadu_si128(reinterpret_cast<const __m128i*>(accumulation + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target + i), _mm_adds_epu8(screen, trail));
    }
    for (; i < end; ++i)
        target[i] = addSaturateBytes(target[i], accumulation[i]);
}

} // namespace

namespace {

// Rows [firstRow, endRow) of addTrails, as far as the target reaches.
void addTrailRows(Bitmap& target, const std::uint32_t* accumulation, int firstRow, int endRow) {
    int count = trailPixelCount(target);
    addTrailsSse2(target.pixels, accumulation, std::min(firstRow * trailWidth, count),
                  std::min(endRow * trailWidth, count));
}

} // namespace

void addTrails(Bitmap& target, const std::uint32_t* accumulation) {
    if (simdLevel() == SimdLevel::plain) {
        addTrailsPlain(target, accumulation);
        return;
    }
    // Every pixel adds its own trail pixel: split by rows of 512 pixels.
    int count = trailPixelCount(target);
    bandPool().forEachBand((count + trailWidth - 1) / trailWidth, [&](int firstRow, int endRow) {
        addTrailRows(target, accumulation, firstRow, endRow);
    });
}

void blurTrailsPlain(std::uint32_t* accumulation, int width, int height) {
    int lastColumn = std::min(width, trailWidth) - 2;
    int lastRow = std::min(height, trailHeight) - 2;
    for (int row = 1; row <= lastRow; ++row) {
        std::uint32_t* line = accumulation + row * trailWidth;
        for (int column = 1; column <= lastColumn; ++column)
            blurTrailPixel(line + column);
    }
}

namespace {

// A packed pixel spread to four 16-bit lanes (blue, green, red, top) in the low half.
__m128i spreadPixel(std::uint32_t pixel) {
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(pixel)), _mm_setzero_si128());
}

// Two packed pixels spread to one 64-bit lane each.
__m128i spreadPair(std::uint32_t first, std::uint32_t second) {
    __m128i packed = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(first)),
                                        _mm_cvtsi32_si128(static_cast<int>(second)));
    return _mm_unpacklo_epi8(packed, _mm_setzero_si128());
}

// One step of two rows (`rows` and the row below): the upper row's column `column` in the low lane,
// the lower row's column - 1 in the high lane. `left` holds their left neighbours (the lanes the
// step before left), `firstUp` the upper row's upper neighbour in its low lane; the lower row's
// upper neighbour is the upper row's result of the step before, its right neighbour the upper
// row's lower one. Per channel (sum >> 2) - (sum >> 8) is the mean less its 64th.
__m128i stepTwo(const std::uint32_t* rows, int column, __m128i left, __m128i firstUp) {
    const std::uint32_t* lower = rows + trailWidth;
    __m128i others = _mm_add_epi16(spreadPair(lower[column], lower[column - 1 + trailWidth]),
                                   spreadPair(rows[column + 1], lower[column]));
    __m128i sum = _mm_add_epi16(_mm_add_epi16(others, left), _mm_unpacklo_epi64(firstUp, left));
    return _mm_sub_epi16(_mm_srli_epi16(sum, 2), _mm_srli_epi16(sum, 8));
}

// Stores stepTwo's lanes at at[0] and at[511] (the row below, a column left), the top byte cleared.
void storeTwo(std::uint32_t* at, __m128i blurred) {
    __m128i packed = _mm_and_si128(_mm_packus_epi16(blurred, blurred), _mm_set1_epi32(0x00FFFFFF));
    at[0] = static_cast<std::uint32_t>(_mm_cvtsi128_si32(packed));
    at[trailWidth - 1] = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(packed, 4)));
}

// Rows `top` .. top + 2 Pairs - 1 together, row k drawing column s - k at step s, as pairs of rows
// whose dependency chains (each pixel needs its freshly blurred left neighbour) advance side by side
// and overlap in the pipeline. Each pair's first row takes its upper neighbour from the pair
// above's last result. A run of steps starts from the stored left neighbours, equal to the lanes
// the step before left except for the top lane, which is never stored.
template <int Pairs>
void blurRowPairsSse2(std::uint32_t* accumulation, int top, int lastColumn, int firstStep, int endStep) {
    constexpr int rowCount = 2 * Pairs;
    std::uint32_t* rows = accumulation + top * trailWidth;
    auto pairRows = [rows](int pair) { return rows + 2 * pair * trailWidth; };
    int step = firstStep;
    // Until step rowCount and after lastColumn some rows have no column to draw.
    for (; step < std::min(endStep, rowCount); ++step)
        blurTrailDiagonalStep(rows, rowCount, lastColumn, step);
    const int vectorEnd = std::min(endStep, lastColumn + 1);
    if (step < vectorEnd) {
        __m128i blurred[Pairs];
        for (int pair = 0; pair < Pairs; ++pair) {
            const std::uint32_t* pairTop = pairRows(pair);
            const int column = step - 2 * pair;
            blurred[pair] = spreadPair(pairTop[column - 1], pairTop[trailWidth + column - 2]);
        }
        for (; step < vectorEnd; ++step) {
            __m128i up[Pairs];
            up[0] = spreadPixel(rows[step - trailWidth]);
            for (int pair = 1; pair < Pairs; ++pair)
                up[pair] = _mm_unpackhi_epi64(blurred[pair - 1], blurred[pair - 1]);
            for (int pair = 0; pair < Pairs; ++pair) {
                const int column = step - 2 * pair;
                blurred[pair] = stepTwo(pairRows(pair), column, blurred[pair], up[pair]);
                storeTwo(pairRows(pair) + column, blurred[pair]);
            }
        }
    }
    for (; step < endStep; ++step)
        blurTrailDiagonalStep(rows, rowCount, lastColumn, step);
}

// Columns [firstColumn, endColumn) of one row, as the plain blur does them.
void blurRowPlain(std::uint32_t* accumulation, int row, int firstColumn, int endColumn) {
    std::uint32_t* line = accumulation + row * trailWidth;
    for (int column = firstColumn; column < endColumn; ++column)
        blurTrailPixel(line + column);
}

// The blur's rows 1 .. lastRow in units drawn together, eight rows with AVX2 and four with SSE2
// (more than two pairs of rows spill the SSE2 registers), and a last unit of the rows left over.
// Row k of a unit draws column s - k at its step s, so each unit runs rows - 1 steps behind the
// unit above, as the wavefront column h = s + offset(unit): the first row of a unit reads the
// pixel above once the unit above has drawn it, and that unit's last row reads the pixel below
// before the unit replaces it.
class BlurUnits {
  public:
    BlurUnits(int width, int height)
        : lastColumn(std::min(width, trailWidth) - 2), lastRow(std::min(height, trailHeight) - 2),
          rowsPerUnit(useAvx2 ? 8 : 4) {
        if (lastColumn < 1 || lastRow < 1)
            lastColumn = lastRow = 0;
        fullUnits = lastRow / rowsPerUnit;
        count = fullUnits + (lastRow % rowsPerUnit != 0 ? 1 : 0);
    }

    int count = 0;

    int rows(int unit) const { return unit < fullUnits ? rowsPerUnit : lastRow - fullUnits * rowsPerUnit; }
    int offset(int unit) const { return unit * (rowsPerUnit - 1); }
    // The wavefront columns of the units up to `endUnit`.
    int columns(int endUnit) const {
        return endUnit == 0 ? 0 : offset(endUnit - 1) + lastColumn + rows(endUnit - 1);
    }
    // The first unit whose first row is at or after `row`.
    int unitAtOrAfter(int row) const { return std::clamp((row + rowsPerUnit - 2) / rowsPerUnit, 0, count); }
    // The most rows a unit reads past its first: its own, and the row below.
    int reach() const { return rowsPerUnit; }

    // Unit `unit` at wavefront columns [begin, end): its steps begin - offset .. end - offset, as
    // far as it has any.
    void draw(std::uint32_t* accumulation, int unit, int begin, int end) const {
        const int top = 1 + unit * rowsPerUnit;
        const int firstStep = begin - offset(unit);
        const int endStep = end - offset(unit);
        // A unit of leftover rows goes as groups down the same diagonal, each group's first row
        // as many steps behind as it is rows below the unit's first: all of a group's steps may
        // come before the next group's, which reads only pixels of the group above that are drawn.
        for (int row = 0, left = rows(unit); left > 0;) {
            int group = drawGroup(accumulation, top + row, left, firstStep - row, endStep - row);
            row += group;
            left -= group;
        }
    }

  private:
    // The most rows from `rowCount` that one kernel draws together.
    int groupSize(int rowCount) const {
        if (rowCount >= rowsPerUnit)
            return rowsPerUnit;
        return rowCount >= 4 ? 4 : rowCount >= 2 ? 2 : 1;
    }

    // Steps [firstStep, endStep), clipped to the group's own, of a group of rows from `top`; returns
    // how many rows it has.
    int drawGroup(std::uint32_t* accumulation, int top, int rowCount, int firstStep, int endStep) const {
        const int group = groupSize(rowCount);
        firstStep = std::max(firstStep, 1);
        endStep = std::min(endStep, lastColumn + group);
        if (firstStep >= endStep)
            return group;
        if (group == 4)
            blurRowPairsSse2<2>(accumulation, top, lastColumn, firstStep, endStep);
        else if (group == 2)
            blurRowPairsSse2<1>(accumulation, top, lastColumn, firstStep, endStep);
        else if (group == 1)
            blurRowPlain(accumulation, top, firstStep, std::min(endStep, lastColumn + 1));
        else if constexpr (avx2Built)
            blurRowOctetAvx2(accumulation, top, lastColumn, firstStep, endStep);
        return group;
    }

    int lastColumn, lastRow;
    bool useAvx2 = avx2Built && simdLevel() >= SimdLevel::avx2;
    int rowsPerUnit, fullUnits = 0;
};

void blurTrailsSse2(std::uint32_t* accumulation, int width, int height) {
    const BlurUnits units(width, height);
    if (units.count == 0)
        return;
    drawRowsInWavefront(units.count, units.columns(units.count), [&](int unit, int begin, int end) {
        units.draw(accumulation, unit, begin, end);
    });
}

} // namespace

void blurTrails(std::uint32_t* accumulation, int width, int height) {
    if (simdLevel() == SimdLevel::plain)
        blurTrailsPlain(accumulation, width, height);
    else
        blurTrailsSse2(accumulation, width, height);
}

namespace {

// What a band of drawSparkFrame's second split tells the others, each on a cache line of its own:
// that its dots and trails are added (the band above blurs down into its first rows), and the
// wavefront column its blur has reached.
struct alignas(64) SparkBandSignal {
    std::atomic<int> added{0};
    std::atomic<int> blurred{0};
};

// The most threads a pool has.
constexpr int maxSparkBands = 64;

// Wavefront columns a band of the blur draws between two looks at the band above.
constexpr int blurChunkColumns = 32;

// awaitBandProgress, adding the seconds it waited to `waited`.
void awaitTimed(const std::atomic<int>& progress, int value, double& waited) {
    if (progress.load(std::memory_order_acquire) >= value)
        return;
    const auto start = std::chrono::steady_clock::now();
    awaitBandProgress(progress, value);
    waited += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The blur's units [firstUnit, endUnit), one block of a wavefront whose blocks are the bands: at
// wavefront column h, a unit draws once the band above has drawn up to h (`above`, null for the
// first band). Publishes its own progress in `own`; adds the seconds it waited to `waited`.
void blurBandOfUnits(std::uint32_t* accumulation, const BlurUnits& units, int firstUnit, int endUnit,
                     const std::atomic<int>* above, std::atomic<int>& own, double& waited) {
    constexpr int finished = INT32_MAX;
    if (firstUnit == endUnit) {
        // Nothing to draw: the band below follows the band above.
        if (above != nullptr)
            awaitTimed(*above, finished, waited);
        own.store(finished, std::memory_order_release);
        return;
    }
    const int first = units.offset(firstUnit) + 1;
    const int last = units.columns(endUnit);
    // The wait for the band above to come far enough before the first chunk grows with the band
    // above, not with this one; counted as this band's time, it moves rows upwards until the bands
    // end together.
    if (above != nullptr)
        awaitBandProgress(*above, std::min(first + blurChunkColumns, last));
    for (int begin = first; begin < last; begin += blurChunkColumns) {
        int end = std::min(begin + blurChunkColumns, last);
        if (above != nullptr)
            awaitTimed(*above, end, waited);
        for (int unit = firstUnit; unit < endUnit; ++unit)
            units.draw(accumulation, unit, begin, end);
        own.store(end, std::memory_order_release);
    }
    own.store(finished, std::memory_order_release);
}

} // namespace

void drawSparkFrame(Bitmap& target, Bitmap& trails, const SparkRotation& rotation,
                    std::vector<SparkParticle>& particles, std::vector<int>& spent, SparkBands& bands,
                    const std::function<void()>& births) {
    BandPool& pool = bandPool();
    if (pool.bands() == 1 || pool.bands() > maxSparkBands) {
        BandPool::Alone alone(pool);
        drawTurnedSparks(trails, rotation, particles);
        stepSparks(particles, spent);
        addTrails(target, trails.pixels);
        births();
        blurTrails(trails.pixels, target.width, target.height);
        return;
    }
    TurnedSparks& turned = drawingThreadScratch();
    const int total = static_cast<int>(particles.size());
    turned.reserve(total);
    spent.resize(particles.size());
    const GlowDotBatch dots{turned.x.data(), turned.y.data(), turned.z.data(), turned.colours.data(), total};
    // A band of particles turned, placed and moved on, each read once.
    bands.particles.forEachBand(pool, total, [&](int begin, int end) {
        turned.turn(rotation, particles, begin, end);
        placeGlowDotBand(trails, dots, 16002, 4096, turned.dots, begin, end);
        stepSparkBand(particles, spent, begin, end);
    });
    const std::vector<int>& particleBounds = bands.particles.lastBounds();
    gatherSpent(spent, pool.bands(), [&](int band) { return particleBounds[band]; });

    // A band of rows: its dots, after which those trail rows are final for the frame, added on; then
    // blurred, in a wavefront whose blocks are the bands, so that each row stays on one core from
    // its dots to its blur. The first band also gives the births.
    const BlurUnits units(target.width, target.height);
    const int bandCount = pool.bands();
    SparkBandSignal signals[maxSparkBands];
    const std::vector<int>& rowBounds = bands.rows.lastBounds();
    bands.rows.forEachBandTogether(pool, trailHeight, [&](int band, int firstRow, int endRow) {
        if (band == 0)
            births();
        if (firstRow < endRow) {
            addGlowDotRows(trails, turned.colours.data(), total, 2, turned.dots, firstRow, endRow);
            addTrailRows(target, trails.pixels, firstRow, endRow);
        }
        signals[band].added.store(1, std::memory_order_release);
        double waited = 0.0;
        if (units.count == 0)
            return waited;
        // The last unit of the band may blur rows from endRow on and read the row after them,
        // which belong to the band below or, when that has fewer rows, to the bands after it.
        for (int below = band + 1; below < bandCount && rowBounds[below] < endRow + units.reach(); ++below)
            awaitTimed(signals[below].added, 1, waited);
        // The band's units are those whose first row is its.
        blurBandOfUnits(trails.pixels, units, units.unitAtOrAfter(firstRow), units.unitAtOrAfter(endRow),
                        band > 0 ? &signals[band - 1].blurred : nullptr, signals[band].blurred, waited);
        return waited;
    });
}
