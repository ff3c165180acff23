#pragma once
// The AVX2 forms of the layers' inner loops, one file each (CrossFadeAvx2.cpp, ...), compiled for
// that instruction set and called only when simdLevel() is avx2 and the build has them
// (avx2Built). Each gives exactly the bits of its layer's plain loop; the layer's file states the
// arithmetic.

#include "core/ByteMap.h"
#include "effects/SparkParticle.h"

#include <cstdint>

// The loops that take `count` work on pixels [0, count) of their arrays, count a multiple of 8.

// CrossFadeLayer: per byte (from * g + to * f) >> 8.
void crossFadeBlendAvx2(std::uint32_t* target, const std::uint32_t* from, const std::uint32_t* to, int f,
                        int g, int count);

// FeedbackMapLayer: buffer = mix(mix(buffer, keep, picture, pictureWeight), mix, screen, screenWeight).
void feedBackAvx2(std::uint32_t* buffer, const std::uint32_t* picture, const std::uint32_t* screen,
                  std::uint32_t keep, std::uint32_t pictureWeight, std::uint32_t mix, std::uint32_t screenWeight);

// MaskedFadeLayer: the picture laid over the target through the mask, and the morph between two.
void maskedCompositeAvx2(std::uint32_t* target, const std::uint32_t* picture, const ByteMap* mask, int count);
void maskedMorphAvx2(std::uint32_t* target, const std::uint32_t* from, const std::uint32_t* to,
                     const ByteMap* fromMask, const ByteMap* toMask, std::uint32_t f, std::uint32_t g, int count);

// MaskedPictureLayer: the picture blended through the mask scaled by maskScale / 256.
void maskedPictureBlendAvx2(std::uint32_t* target, const std::uint32_t* picture, const ByteMap* mask,
                            int maskScale, int count);

// The spark systems' trail blur: steps [firstStep, endStep) of rows top .. top + 7 drawn together,
// row k drawing column s - k at step s (s from 1 to lastColumn + 7).
void blurRowOctetAvx2(std::uint32_t* accumulation, int top, int lastColumn, int firstStep, int endStep);

// SparkRotation::turned for the particles [0, count - count % 8), into the four arrays; returns
// how many it turned. `sinesAndCosines`: sin and cos of the x, y and z angles, in that order.
int turnSparksAvx2(const std::int32_t* sinesAndCosines, const SparkParticle* particles, int count,
                   std::int32_t* x, std::int32_t* y, std::int32_t* z, std::uint32_t* colours);
