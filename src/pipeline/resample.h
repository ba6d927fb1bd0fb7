// Filtered rotation and downsampling of the supersampled canvas into the
// output block: AGG 2.4's affine resampler as the pipeline configures it,
// reproduced byte for byte by code of our own.
#pragma once

#include <cstdint>

#include "agg_trans_affine.h"

namespace vellora {

// The map from output pixel coordinates to canvas coordinates for a w x h
// target turned by `angle`: rotation about the centre, then a scale of 2.
agg::trans_affine resampleTransform(int32_t w, int32_t h, double angle);

// Renders the w x h output block of `out` from `canvas`; both are bottom-up
// 32-bit bitmaps of (2w + 2) x (2h + 2) pixels. Every other pixel of `out`
// becomes (0, 0, 0, 0). The angle is finite and w at most 32767, as the
// limits of a call keep them (AGG's scanlines, which this reproduces, held
// spans in 16 bits). Allocates nothing.
void resampleCanvas(const uint8_t *canvas, uint8_t *out, int32_t w, int32_t h, double angle);
// The same, writing the w x h block only and leaving the rest of `out` as it
// was: for an output of which nothing but the block is ever read.
void resampleBlock(const uint8_t *canvas, uint8_t *out, int32_t w, int32_t h, double angle);

}  // namespace vellora
