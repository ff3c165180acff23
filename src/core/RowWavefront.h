#pragma once
// A loop over rows in which a pixel reads the rows before it (an in-place blur that carries light
// or trails from row to row), split over the band pool without changing a bit. Row r may draw its
// columns [begin, end) once every earlier row has drawn [0, end): a pixel then sees every earlier
// row finished up to its own column, and no later row has drawn that far yet, exactly as in the
// plain loop (rows in order, columns in order). Rows and columns here are visiting positions; the
// caller maps them to the image.
//
// The rows are dealt out in blocks, one block per band in turn. A band sweeps its block a chunk of
// columns at a time, row after row, and publishes how far the block's last row has come; the next
// block's band follows one chunk behind. The bands wait for each other, so every band must run at
// the same time: the pool gives each band its own thread.

#include "core/BandPool.h"

#include <algorithm>
#include <atomic>

namespace rowWavefront {

// Blocks of many rows: a block's first rows read rows of the block above, drawn on another core,
// and each such row has to cross between the cores' caches. Narrow chunks: the next block starts
// one chunk behind.
constexpr int maxBlocks = 64;
constexpr int minimumBlockRows = 32;
constexpr int chunkColumns = 64;

} // namespace rowWavefront

// drawSpan(row, begin, end) draws columns [begin, end) of visiting row `row`. With one thread it
// is called once per row over all columns, in order.
//
// beforeRows(first, end) and afterRows(first, end) frame rows [first, end) on the band that draws
// them: the first before any of their columns is drawn (and before the band waits for the rows
// above), the second after their last columns. Each row is framed once, and no row is drawn before
// beforeRows has been called for every row up to it. A caller that builds each row just before it
// is drawn and uses it right after keeps the row on one core.
template <class DrawSpan, class BeforeRows, class AfterRows>
void drawRowsInWavefront(int rowCount, int columnCount, DrawSpan&& drawSpan, BeforeRows&& beforeRows,
                         AfterRows&& afterRows) {
    BandPool& pool = bandPool();
    const int bands = pool.bands();
    if (bands == 1 || rowCount <= 1) {
        beforeRows(0, rowCount);
        for (int row = 0; row < rowCount; ++row)
            drawSpan(row, 0, columnCount);
        afterRows(0, rowCount);
        return;
    }
    // Enough blocks for every band to have work, few enough that a block spans several rows.
    const int blockRows = std::max(rowWavefront::minimumBlockRows,
                                   (rowCount + rowWavefront::maxBlocks - 1) / rowWavefront::maxBlocks);
    const int blockCount = (rowCount + blockRows - 1) / blockRows;
    std::atomic<int> drawn[rowWavefront::maxBlocks];
    for (int block = 0; block < blockCount; ++block)
        drawn[block].store(0, std::memory_order_relaxed);

    pool.forEachBandTogether(bands, [&](int firstBand, int endBand) {
        for (int band = firstBand; band < endBand; ++band)
            for (int block = band; block < blockCount; block += bands) {
                int firstRow = block * blockRows;
                int endRow = std::min(firstRow + blockRows, rowCount);
                beforeRows(firstRow, endRow);
                for (int begin = 0; begin < columnCount; begin += rowWavefront::chunkColumns) {
                    int end = std::min(begin + rowWavefront::chunkColumns, columnCount);
                    if (block > 0)
                        awaitBandProgress(drawn[block - 1], end);
                    for (int row = firstRow; row < endRow; ++row)
                        drawSpan(row, begin, end);
                    drawn[block].store(end, std::memory_order_release);
                }
                afterRows(firstRow, endRow);
            }
    });
}

template <class DrawSpan> void drawRowsInWavefront(int rowCount, int columnCount, DrawSpan&& drawSpan) {
    auto nothing = [](int, int) {};
    drawRowsInWavefront(rowCount, columnCount, drawSpan, nothing, nothing);
}
