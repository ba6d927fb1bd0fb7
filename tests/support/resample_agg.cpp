#include "support/resample_agg.h"

#include "agg_image_accessors.h"
#include "agg_image_filters.h"
#include "agg_pixfmt_rgba.h"
#include "agg_rasterizer_scanline_aa.h"
#include "agg_renderer_base.h"
#include "agg_renderer_scanline.h"
#include "agg_rendering_buffer.h"
#include "agg_scanline_u.h"
#include "agg_span_allocator.h"
#include "agg_span_image_filter_rgba.h"
#include "agg_span_interpolator_linear.h"
#include "pipeline/resample.h"

namespace vtest {

void resampleCanvasAgg(const uint8_t *canvas, uint8_t *out, int32_t w, int32_t h, double angle) {
    using pixfmt = agg::pixfmt_bgra32_pre;
    using renderer = agg::renderer_base<pixfmt>;
    using source = agg::image_accessor_clone<pixfmt>;
    using interpolator = agg::span_interpolator_linear<agg::trans_affine>;
    using generator = agg::span_image_resample_rgba_affine<source>;

    const int32_t W = 2 * w + 2, H = 2 * h + 2;
    const int stride = -4 * W;

    // Negative stride: row 0 is the top scanline, as on the device.
    agg::rendering_buffer outBuf, canvasBuf;
    outBuf.attach(out, unsigned(W), unsigned(H), stride);
    // AGG only reads through the canvas buffer; its type has no const form.
    canvasBuf.attach(const_cast<uint8_t *>(canvas), unsigned(W), unsigned(H), stride);

    pixfmt outPix(outBuf);
    pixfmt canvasPix(canvasBuf);
    renderer base(outPix);
    base.clear(agg::rgba8(agg::rgba(0.0, 0.0, 0.0, 0.0)));

    agg::rasterizer_scanline_aa<> ras;
    agg::span_allocator<agg::rgba8> alloc;
    agg::image_filter_lut filter(agg::image_filter_bilinear(), true);
    agg::scanline_u8 sl;

    ras.move_to_d(0, 0);
    ras.line_to_d(w, 0);
    ras.line_to_d(w, h);
    ras.line_to_d(0, h);

    source src(canvasPix);
    agg::trans_affine m = vellora::resampleTransform(w, h, angle);
    interpolator inter(m);
    generator gen(src, inter, filter);
    agg::render_scanlines_aa(ras, sl, base, alloc, gen);
}

}  // namespace vtest
