// AGG 2.4's own affine resampler, configured as the pipeline used it before
// it had its own: the oracle the resampler's tests and bench hold it to.
#pragma once

#include <cstdint>

namespace vtest {

// Same contract as vellora::resampleCanvas, through AGG's scanline renderer
// with span_image_resample_rgba_affine over image_accessor_clone.
void resampleCanvasAgg(const uint8_t *canvas, uint8_t *out, int32_t w, int32_t h, double angle);

}  // namespace vtest
