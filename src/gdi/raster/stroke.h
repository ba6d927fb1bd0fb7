// Pens: dash patterns, and the pixels of wide (geometric) lines, built the
// way the platform builds them from per-segment polygons, caps and joins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "gdi/raster/raster.h"
#include "gdi/raster/region.h"
#include "gdi/types.h"

namespace vellora::gdi {

// A dash pattern walked one pixel at a time: entries alternate on and off,
// starting on; an odd number of entries repeats with on and off swapped.
class Dasher {
public:
    explicit Dasher(const std::vector<uint32_t> &dashes);
    bool solid() const { return total_ == 0; }
    uint64_t position() const { return pos_; }
    void advance(uint64_t n) { pos_ += n; }
    bool on(uint64_t pos) const;

private:
    std::vector<uint32_t> dashes_;
    uint64_t total_ = 0, pos_ = 0;
};

// The pixels of the ellipse inscribed in the half-open rectangle r, rows
// between the outline's outermost points (the platform's elliptic region).
void ellipseSpans(const Rect &r, SpanSink &out);

// Working memory of wide lines, for callers that draw many: the filler's,
// and the round dot of the last pen width.
struct StrokeScratch {
    FillScratch fill;
    int32_t dotWidth = -1;
    std::vector<Span> dot;
};

// Wide lines through device points: per-segment polygons with the pen's
// caps (ends of open figures) and joins (between segments).
void wideLine(const Point *pts, size_t n, bool closed, int32_t width, uint32_t endcap, uint32_t join,
              double miterLimit, const Rect &clip, SpanSink &out, WorkBudget &work,
              StrokeScratch *scratch = nullptr);
void dashedWideLine(const Point *pts, size_t n, bool closed, int32_t width, uint32_t endcap,
                    uint32_t join, double miterLimit, const std::vector<uint32_t> &dashes,
                    const Rect &clip, SpanSink &out, WorkBudget &work);

}  // namespace vellora::gdi
