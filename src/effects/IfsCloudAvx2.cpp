// Four cloud points at a time. Every operation is the scalar one in the same order (no fused
// multiply-add), so the doubles are the same; conversions outside the int32 range are redone by the
// scalar code.

#include "effects/IfsCloud.h"

#include <immintrin.h>

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

} // namespace

__attribute__((target("avx2"))) void projectCloudAvx2(const IfsView& view, const double* x, const double* y,
                                                      const double* z, int count,
                                                      const std::uint32_t* palette, const IfsProjected& out) {
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
        for (int lane = 0; lane < 4; ++lane)
            out.colour[i + lane] = palette[indices[lane]];

        __m256d r1 = _mm256_add_pd(_mm256_mul_pd(ny, cosB), _mm256_mul_pd(nx, sinB));
        __m256d r2 = _mm256_sub_pd(_mm256_mul_pd(nx, cosB), _mm256_mul_pd(ny, sinB));
        __m256d turnedX = _mm256_add_pd(_mm256_mul_pd(r2, cosA), _mm256_mul_pd(nz, sinA));
        __m256d turnedZ = _mm256_sub_pd(_mm256_mul_pd(nz, cosA), _mm256_mul_pd(r2, sinA));
        __m256d turnedY = _mm256_sub_pd(_mm256_mul_pd(r1, cosB), _mm256_mul_pd(turnedZ, sinB));
        __m256d depth = _mm256_add_pd(_mm256_mul_pd(r1, sinB), _mm256_mul_pd(turnedZ, cosB));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out.x + i), truncateFour(_mm256_mul_pd(turnedX, scale)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out.y + i), truncateFour(_mm256_mul_pd(turnedY, scale)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out.z + i), truncateFour(_mm256_mul_pd(depth, scale)));
    }
    for (; i < count; ++i)
        projectCloudPoint(view, x[i - 1], y[i - 1], z[i - 1], x[i], y[i], z[i], palette, out, i);
}
