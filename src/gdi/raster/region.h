// Device-space pixel sets: clip regions, the pixels a primitive paints, and
// the regions of the region records. Stored as y-bands of disjoint x-spans,
// as the platform keeps its own regions, so combining two regions is one
// sweep over both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "gdi/types.h"

namespace vellora::gdi {

// One row of pixels [x0, x1) on row y.
struct Span {
    int32_t y, x0, x1;
};

// The platform's region combination modes (RGN_AND ... RGN_COPY).
enum class RegionOp { And = 1, Or = 2, Xor = 3, Diff = 4, Copy = 5 };

class Region {
public:
    Region() = default;
    static Region fromRect(const Rect &r);
    // Union of the spans, which may come in any order and overlap. The
    // vector is sorted in place.
    static Region fromSpans(std::vector<Span> &spans);
    // Union of rectangles (region record data); empty ones are skipped.
    static Region fromRects(const std::vector<Rect> &rects);
    static Region combine(const Region &a, const Region &b, RegionOp op);
    // As combine, into `out`, reusing its memory.
    static void combineInto(const Region &a, const Region &b, RegionOp op, Region &out);
    // As fromSpans, into this region, reusing its memory: for working
    // regions kept from one record to the next.
    void assignSpans(std::vector<Span> &spans);
    // As fromRect, reusing this region's memory.
    void assignRect(const Rect &r);

    bool empty() const { return bands_.empty(); }
    Rect bounds() const;
    bool contains(int32_t x, int32_t y) const;
    void offset(int32_t dx, int32_t dy);
    size_t bandCount() const { return bands_.size(); }
    size_t spanCount() const { return xs_.size() / 2; }
    bool operator==(const Region &o) const;

    // Calls f(top, bottom, x0, x1) for every rectangle of the region, top to
    // bottom, left to right.
    template <class F>
    void forEachRect(F &&f) const {
        for (const Band &b : bands_)
            for (uint32_t i = b.begin; i < b.end; i += 2) f(b.top, b.bottom, xs_[i], xs_[i + 1]);
    }

private:
    struct Band {
        int32_t top, bottom;
        uint32_t begin, end;  // range of xs_ (pairs x0, x1)
    };
    void pushBand(int32_t top, int32_t bottom, const int32_t *xs, size_t n);
    void combineFrom(const Region &a, const Region &b, RegionOp op);  // into *this, not a or b

    std::vector<Band> bands_;
    std::vector<int32_t> xs_;
    std::vector<int32_t> row_;  // working row of assignSpans and combineInto, not part of the value
};

// Collects the spans of a primitive, joining a pixel to the span before it
// when they touch on the same row (lines arrive a pixel at a time).
class SpanSink {
public:
    void add(int32_t y, int32_t x0, int32_t x1) {
        if (x0 >= x1 || full_) return;
        if (!spans_.empty()) {
            Span &s = spans_.back();
            if (s.y == y && x0 <= s.x1 && x1 >= s.x0) {
                if (x0 < s.x0) s.x0 = x0;
                if (x1 > s.x1) s.x1 = x1;
                return;
            }
        }
        if (spans_.size() >= limits::kMaxSpans) {
            full_ = true;
            return;
        }
        spans_.push_back({y, x0, x1});
    }
    void pixel(int32_t x, int32_t y) { add(y, x, x + 1); }
    bool empty() const { return spans_.empty(); }
    // Empties the sink and keeps its memory.
    void clear() {
        spans_.clear();
        full_ = false;
    }
    Region region() { return Region::fromSpans(spans_); }
    void regionInto(Region &out) { out.assignSpans(spans_); }
    void take(std::vector<Span> &out) { out.swap(spans_); }

private:
    std::vector<Span> spans_;
    bool full_ = false;
};

}  // namespace vellora::gdi
