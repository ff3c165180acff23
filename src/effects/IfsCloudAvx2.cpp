// Four cloud points at a time. Every operation is the scalar one in the same order (no fused
// multiply-add), so the doubles are the same; conversions outside the int32 range are redone by the
// scalar code.

#include "effects/IfsCloud.h"

#include <immintrin.h>

#include <cstdint>

namespace {

// truncateToLow32 of four doubles. The processor's conversion gives 0x80000000 outside the int32
// range (and for NaN): those lanes, and genuine -2^31, take the scalar path.
__attribute__((target("avx2"))) __m128i truncateFour(__m256d values) {
    __m128i result = _mm256_cvttpd_epi32(values);
    __m128i outside = _mm_cmpeq_epi32(result, _mm_set1_epi32(INT32_MIN));
    if (_mm_movemask_epi8(outside) == 0)
        return result;
    alignas(32) double lanes[4];
    alignas(16) std::int32_t converted[4];
    _mm256_store_pd(lanes, values);
    for (int lane = 0; lane < 4; ++lane)
        converted[lane] = truncateToLow32(lanes[lane]);
    return _mm_load_si128(reinterpret_cast<const __m128i*>(converted));
}

__attribute__((target("avx2"))) __m256d square(__m256d value) {
    return _mm256_mul_pd(value, value);
}

// Four projected values to `to` (16-byte aligned when streamed).
template <bool streamed> __attribute__((target("avx2"))) void storeFour(std::int32_t* to, __m128i values) {
    if constexpr (streamed)
        _mm_stream_si128(reinterpret_cast<__m128i*>(to), values);
    else
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to), values);
}

template <bool streamed>
__attribute__((target("avx2"))) void projectFours(const IfsView& view, const double* x, const double* y,
                                                  const double* z, int count, const std::uint32_t* palette,
                                                  const IfsProjected& out) {
    const __m256d sinA = _mm256_set1_pd(view.sinA), cosA = _mm256_set1_pd(view.cosA);
    const __m256d sinB = _mm256_set1_pd(view.sinB), cosB = _mm256_set1_pd(view.cosB);
    const __m256d scale = _mm256_set1_pd(8192.0);
    alignas(16) std::int32_t indices[4];
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        __m256d nx = _mm256_loadu_pd(x + i), ny = _mm256_loadu_pd(y + i), nz = _mm256_loadu_pd(z + i);
        __m256d jump = _mm256_add_pd(_mm256_add_pd(square(_mm256_sub_pd(nx, _mm256_loadu_pd(x + i - 1))),
                                                   square(_mm256_sub_pd(ny, _mm256_loadu_pd(y + i - 1)))),
                                     square(_mm256_sub_pd(nz, _mm256_loadu_pd(z + i - 1))));
        __m128i index = _mm_and_si128(_mm_slli_epi32(truncateFour(jump), 3), _mm_set1_epi32(255));
        _mm_store_si128(reinterpret_cast<__m128i*>(indices), index);
        __m128i colours = _mm_setr_epi32(static_cast<int>(palette[indices[0]]), static_cast<int>(palette[indices[1]]),
                                         static_cast<int>(palette[indices[2]]), static_cast<int>(palette[indices[3]]));
        storeFour<streamed>(reinterpret_cast<std::int32_t*>(out.colour + i), colours);

        __m256d r1 = _mm256_add_pd(_mm256_mul_pd(ny, cosB), _mm256_mul_pd(nx, sinB));
        __m256d r2 = _mm256_sub_pd(_mm256_mul_pd(nx, cosB), _mm256_mul_pd(ny, sinB));
        __m256d turnedX = _mm256_add_pd(_mm256_mul_pd(r2, cosA), _mm256_mul_pd(nz, sinA));
        __m256d turnedZ = _mm256_sub_pd(_mm256_mul_pd(nz, cosA), _mm256_mul_pd(r2, sinA));
        __m256d turnedY = _mm256_sub_pd(_mm256_mul_pd(r1, cosB), _mm256_mul_pd(turnedZ, sinB));
        __m256d depth = _mm256_add_pd(_mm256_mul_pd(r1, sinB), _mm256_mul_pd(turnedZ, cosB));
        storeFour<streamed>(out.x + i, truncateFour(_mm256_mul_pd(turnedX, scale)));
        storeFour<streamed>(out.y + i, truncateFour(_mm256_mul_pd(turnedY, scale)));
        storeFour<streamed>(out.z + i, truncateFour(_mm256_mul_pd(depth, scale)));
    }
    if constexpr (streamed)
        _mm_sfence(); // the streamed stores are seen before whatever publishes the block
    for (; i < count; ++i)
        projectCloudPoint(view, x[i - 1], y[i - 1], z[i - 1], x[i], y[i], z[i], palette, out, i);
}

bool alignedTo16(const void* pointer) {
    return reinterpret_cast<std::uintptr_t>(pointer) % 16 == 0;
}

} // namespace

__attribute__((target("avx2"))) void projectCloudAvx2(const IfsView& view, const double* x, const double* y,
                                                      const double* z, int count,
                                                      const std::uint32_t* palette, const IfsProjected& out,
                                                      ProjectedStores stores) {
    if (stores == ProjectedStores::streamed && alignedTo16(out.x) && alignedTo16(out.y) && alignedTo16(out.z) &&
        alignedTo16(out.colour))
        projectFours<true>(view, x, y, z, count, palette, out);
    else
        projectFours<false>(view, x, y, z, count, palette, out);
}
