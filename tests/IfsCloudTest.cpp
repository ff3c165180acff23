// The cloud's projection: the vector code, with its stores cached or streamed past the cache (into
// a block's aligned arrays, or misaligned ones, which it must then store as usual), gives exactly
// the plain code's values.

#include "core/SimdLevel.h"
#include "effects/IfsCloud.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

namespace {

// The outputs of one projection.
struct Projection {
    std::vector<std::int32_t> x, y, z;
    std::vector<std::uint32_t> colours;

    static Projection of(const IfsProjected& out, int count) {
        return {{out.x, out.x + count}, {out.y, out.y + count}, {out.z, out.z + count},
                {out.colour, out.colour + count}};
    }
    bool operator==(const Projection&) const = default;
};

} // namespace

TEST(IfsCloud, StreamedAndCachedProjectionsMatchThePlainOne) {
    if (supportedSimdLevel() != SimdLevel::avx2)
        GTEST_SKIP() << "no AVX2 on this processor";
    // Positions in the cloud's usual range, with every seventh far out, where the conversion leaves
    // the int32 range and the vector code hands the lanes to the scalar one.
    std::mt19937 generator(77);
    std::uniform_real_distribution<double> near(-1.5, 1.5), far(-1e6, 1e6);
    auto block = std::make_unique<IfsCloudBlock>();
    for (int i = 0; i <= IfsCloudBlock::size; ++i) {
        bool outside = i % 7 == 3;
        block->x[i] = outside ? far(generator) : near(generator);
        block->y[i] = near(generator);
        block->z[i] = outside ? far(generator) : near(generator);
    }
    std::vector<std::uint32_t> palette(256);
    for (std::uint32_t& colour : palette)
        colour = generator();
    const IfsView view{0.6, 0.8, -0.28, 0.96};

    for (int count : {IfsCloudBlock::size, 1021, 3}) {
        std::vector<std::int32_t> px(count), py(count), pz(count);
        std::vector<std::uint32_t> colours(count);
        IfsProjected plainOut{px.data(), py.data(), pz.data(), colours.data()};
        projectCloudPlain(view, block->x + 1, block->y + 1, block->z + 1, count, palette.data(), plainOut);
        const Projection plain = Projection::of(plainOut, count);

        IfsProjected blockOut{block->px, block->py, block->pz, block->colours};
        for (ProjectedStores stores : {ProjectedStores::cached, ProjectedStores::streamed}) {
            std::fill_n(block->px, IfsCloudBlock::size, 0x5A5A5A5A);
            projectCloudAvx2(view, block->x + 1, block->y + 1, block->z + 1, count, palette.data(), blockOut,
                             stores);
            EXPECT_TRUE(Projection::of(blockOut, count) == plain) << count << " points";
        }

        // Outputs one element past the alignment.
        std::vector<std::int32_t> shifted(4 * (count + 1) + 16);
        std::int32_t* base = shifted.data();
        while (reinterpret_cast<std::uintptr_t>(base) % 16 != 4)
            ++base;
        IfsProjected misaligned{base, base + count + 1, base + 2 * (count + 1),
                                reinterpret_cast<std::uint32_t*>(base + 3 * (count + 1))};
        projectCloudAvx2(view, block->x + 1, block->y + 1, block->z + 1, count, palette.data(), misaligned,
                         ProjectedStores::streamed);
        EXPECT_TRUE(Projection::of(misaligned, count) == plain) << count << " points, misaligned";
    }
}
