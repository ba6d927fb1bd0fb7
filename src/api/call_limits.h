// Resource limits of one call, in one place. The public header repeats the
// target's limits for callers (VELLORA_MAX_*); the asserts keep both in step.
#pragma once

#include <cstdint>

#include "vellora.h"

namespace vellora::limits {

// AGG's resampler, which ours reproduces, rendered each row of the w x h
// output block as one scanline span with its start and length in 16 bits;
// ours counts on the same bound (its interpolator steps are exact for rows of
// up to 2^15 pixels).
constexpr int32_t kMaxTargetWidth = 32767;

// AGG's rasteriser, which enumerated the block, keeps at most 2^22 cells
// (1024 blocks of 4096) and drops the rest silently; the block's left and
// right edges take one cell a row, so about 2^21 rows fit, and no taller
// picture could match it. Half of that keeps a
// wide margin, and every 24.8 fixed-point coordinate, and the sum of two that
// it forms when it splits a long edge, far inside 32 bits.
constexpr int32_t kMaxTargetHeight = int32_t(1) << 20;

// The two 32-bit bitmaps of a call, together: 2 * (2w+2) * (2h+2) * 4 bytes.
// A 4000 x 3000 target needs about 384 MiB; the limit leaves room for a
// little more than 5000 x 5000. It also keeps each bitmap's byte offsets, which
// the resampler forms in int, below 2^31.
constexpr uint64_t kMaxCanvasPairBytes = uint64_t(1) << 30;

static_assert(kMaxTargetWidth == VELLORA_MAX_WIDTH, "header and library agree");
static_assert(kMaxTargetHeight == VELLORA_MAX_HEIGHT, "header and library agree");
static_assert(kMaxCanvasPairBytes / 32 == VELLORA_MAX_AREA, "header and library agree");

// Whether a target of w x h pixels is one the pipeline can draw exactly:
// both sides from 1 to their limits, and the bitmap pair within its bytes.
constexpr bool targetFits(int64_t w, int64_t h) {
    return w >= 1 && h >= 1 && w <= kMaxTargetWidth && h <= kMaxTargetHeight &&
           uint64_t(w + 1) * uint64_t(h + 1) * 32 <= kMaxCanvasPairBytes;
}

// The largest metafile file the loaders read whole into memory.
constexpr uint32_t kMaxFileBytes = 1u << 30;

}  // namespace vellora::limits
