#include "gdi/raster/region.h"

#include <algorithm>
#include <climits>

namespace vellora::gdi {

namespace {

constexpr int32_t kRegionLimit = 1 << 30;

int32_t clampOffset(int64_t v) {
    if (v > kRegionLimit) return kRegionLimit;
    if (v < -kRegionLimit) return -kRegionLimit;
    return int32_t(v);
}

bool applyOp(RegionOp op, bool a, bool b) {
    switch (op) {
    case RegionOp::And: return a && b;
    case RegionOp::Or: return a || b;
    case RegionOp::Xor: return a != b;
    case RegionOp::Diff: return a && !b;
    case RegionOp::Copy: return a;
    }
    return false;
}

// Boolean combination of two sorted, disjoint, non-touching span lists.
void combineSpans(const int32_t *a, size_t na, const int32_t *b, size_t nb, RegionOp op,
                  std::vector<int32_t> &out) {
    out.clear();
    size_t i = 0, j = 0;
    bool inA = false, inB = false, inR = false;
    while (i < na || j < nb) {
        int32_t x = INT32_MAX;
        if (i < na) x = a[i];
        if (j < nb && b[j] < x) x = b[j];
        while (i < na && a[i] == x) inA = !inA, ++i;
        while (j < nb && b[j] == x) inB = !inB, ++j;
        const bool r = applyOp(op, inA, inB);
        if (r != inR) {
            out.push_back(x);
            inR = r;
        }
    }
}

}  // namespace

void Region::pushBand(int32_t top, int32_t bottom, const int32_t *xs, size_t n) {
    if (n == 0 || top >= bottom) return;
    if (!bands_.empty()) {
        Band &last = bands_.back();
        if (last.bottom == top && last.end - last.begin == n &&
            std::equal(xs, xs + n, xs_.begin() + last.begin)) {
            last.bottom = bottom;
            return;
        }
    }
    const uint32_t begin = uint32_t(xs_.size());
    xs_.insert(xs_.end(), xs, xs + n);
    bands_.push_back({top, bottom, begin, uint32_t(xs_.size())});
}

Region Region::fromRect(const Rect &r) {
    Region g;
    if (r.empty()) return g;
    const int32_t xs[2] = {r.left, r.right};
    g.pushBand(r.top, r.bottom, xs, 2);
    return g;
}

void Region::assignRect(const Rect &r) {
    bands_.clear();
    xs_.clear();
    if (r.empty()) return;
    const int32_t xs[2] = {r.left, r.right};
    pushBand(r.top, r.bottom, xs, 2);
}

Region Region::fromSpans(std::vector<Span> &spans) {
    Region g;
    g.assignSpans(spans);
    return g;
}

void Region::assignSpans(std::vector<Span> &spans) {
    bands_.clear();
    xs_.clear();
    const auto before = [](const Span &a, const Span &b) { return a.y != b.y ? a.y < b.y : a.x0 < b.x0; };
    // A filled figure hands its spans over in order already.
    if (!std::is_sorted(spans.begin(), spans.end(), before)) std::sort(spans.begin(), spans.end(), before);
    std::vector<int32_t> &row = row_;
    size_t i = 0;
    while (i < spans.size()) {
        const int32_t y = spans[i].y;
        row.clear();
        for (; i < spans.size() && spans[i].y == y; ++i) {
            const Span &s = spans[i];
            if (s.x0 >= s.x1) continue;
            if (!row.empty() && s.x0 <= row.back()) {
                if (s.x1 > row.back()) row.back() = s.x1;
            } else {
                row.push_back(s.x0);
                row.push_back(s.x1);
            }
        }
        pushBand(y, y + 1, row.data(), row.size());
    }
}

Region Region::fromRects(const std::vector<Rect> &rects) {
    // Region data written by the platform is already banded: sorted by top,
    // one band per distinct (top, bottom), left to right without overlap.
    // Take that directly, and union anything else pairwise.
    Region g;
    bool banded = true;
    std::vector<int32_t> row;
    size_t i = 0;
    while (i < rects.size() && banded) {
        const Rect &first = rects[i];
        row.clear();
        size_t j = i;
        for (; j < rects.size() && rects[j].top == first.top && rects[j].bottom == first.bottom;
             ++j) {
            const Rect &r = rects[j];
            if (r.empty()) continue;
            if (!row.empty() && r.left < row.back()) {
                banded = false;
                break;
            }
            if (!row.empty() && r.left == row.back())
                row.back() = r.right;
            else
                row.push_back(r.left), row.push_back(r.right);
        }
        if (!banded) break;
        if (!g.bands_.empty() && !first.empty() && first.top < g.bands_.back().bottom) {
            banded = false;
            break;
        }
        g.pushBand(first.top, first.bottom, row.data(), row.size());
        i = j;
    }
    if (banded) return g;

    std::vector<Region> parts;
    parts.reserve(rects.size());
    for (const Rect &r : rects)
        if (!r.empty()) parts.push_back(fromRect(r));
    while (parts.size() > 1) {
        std::vector<Region> next;
        next.reserve(parts.size() / 2 + 1);
        for (size_t k = 0; k + 1 < parts.size(); k += 2)
            next.push_back(combine(parts[k], parts[k + 1], RegionOp::Or));
        if (parts.size() % 2) next.push_back(std::move(parts.back()));
        parts.swap(next);
    }
    return parts.empty() ? Region() : std::move(parts[0]);
}

Region Region::combine(const Region &a, const Region &b, RegionOp op) {
    if (op == RegionOp::Copy) return a;
    Region g;
    g.combineFrom(a, b, op);
    return g;
}

void Region::combineInto(const Region &a, const Region &b, RegionOp op, Region &out) {
    if (&out == &a || &out == &b) {
        out = combine(a, b, op);
        return;
    }
    if (op == RegionOp::Copy) {
        out.bands_.assign(a.bands_.begin(), a.bands_.end());
        out.xs_.assign(a.xs_.begin(), a.xs_.end());
        return;
    }
    out.combineFrom(a, b, op);
}

void Region::combineFrom(const Region &a, const Region &b, RegionOp op) {
    Region &g = *this;
    g.bands_.clear();
    g.xs_.clear();
    const size_t na = a.bands_.size(), nb = b.bands_.size();
    size_t ia = 0, ib = 0;
    if ((op == RegionOp::And || op == RegionOp::Diff) && na && nb) {
        // Only b's bands that reach a's rows matter: start at the first one.
        const int32_t top = a.bands_.front().top;
        ib = size_t(std::upper_bound(b.bands_.begin(), b.bands_.end(), top,
                                     [](int32_t v, const Band &band) { return v < band.bottom; }) -
                    b.bands_.begin());
    }
    if (op == RegionOp::And && na && nb) {
        const int32_t top = b.bands_.front().top;
        ia = size_t(std::upper_bound(a.bands_.begin(), a.bands_.end(), top,
                                     [](int32_t v, const Band &band) { return v < band.bottom; }) -
                    a.bands_.begin());
    }
    int64_t y = INT64_MIN;
    std::vector<int32_t> &xs = g.row_;
    while (ia < na || ib < nb) {
        if ((op == RegionOp::And || op == RegionOp::Diff) && ia >= na) break;
        if (op == RegionOp::And && ib >= nb) break;
        // Past the end of b's rows nothing remains to intersect.
        if (op == RegionOp::And && ia < na && a.bands_[ia].top >= b.bands_.back().bottom) break;
        const int64_t ta = ia < na ? a.bands_[ia].top : INT64_MAX;
        const int64_t tb = ib < nb ? b.bands_[ib].top : INT64_MAX;
        if (y < std::min(ta, tb)) y = std::min(ta, tb);
        const bool actA = ia < na && ta <= y, actB = ib < nb && tb <= y;
        int64_t next = INT64_MAX;
        if (ia < na) next = std::min<int64_t>(next, actA ? a.bands_[ia].bottom : ta);
        if (ib < nb) next = std::min<int64_t>(next, actB ? b.bands_[ib].bottom : tb);
        const int32_t *pa = nullptr, *pb = nullptr;
        size_t ca = 0, cb = 0;
        if (actA) pa = a.xs_.data() + a.bands_[ia].begin, ca = a.bands_[ia].end - a.bands_[ia].begin;
        if (actB) pb = b.xs_.data() + b.bands_[ib].begin, cb = b.bands_[ib].end - b.bands_[ib].begin;
        combineSpans(pa, ca, pb, cb, op, xs);
        g.pushBand(int32_t(y), int32_t(next), xs.data(), xs.size());
        y = next;
        if (ia < na && a.bands_[ia].bottom <= y) ++ia;
        if (ib < nb && b.bands_[ib].bottom <= y) ++ib;
    }
}

Rect Region::bounds() const {
    if (bands_.empty()) return {};
    Rect r{INT32_MAX, bands_.front().top, INT32_MIN, bands_.back().bottom};
    for (const Band &b : bands_) {
        r.left = std::min(r.left, xs_[b.begin]);
        r.right = std::max(r.right, xs_[b.end - 1]);
    }
    return r;
}

bool Region::contains(int32_t x, int32_t y) const {
    auto it = std::upper_bound(bands_.begin(), bands_.end(), y,
                               [](int32_t v, const Band &b) { return v < b.bottom; });
    if (it == bands_.end() || it->top > y) return false;
    for (uint32_t i = it->begin; i < it->end; i += 2)
        if (x >= xs_[i] && x < xs_[i + 1]) return true;
    return false;
}

void Region::offset(int32_t dx, int32_t dy) {
    if (dx == 0 && dy == 0) return;
    for (Band &b : bands_) b.top = clampOffset(int64_t(b.top) + dy), b.bottom = clampOffset(int64_t(b.bottom) + dy);
    for (int32_t &x : xs_) x = clampOffset(int64_t(x) + dx);
    // Saturation can collapse bands or spans at the limit; rebuild then.
    bool ok = true;
    for (size_t i = 0; i < bands_.size() && ok; ++i) {
        const Band &b = bands_[i];
        if (b.top >= b.bottom || (i && bands_[i - 1].bottom > b.top)) ok = false;
        for (uint32_t k = b.begin; k + 1 < b.end && ok; ++k)
            if (xs_[k] >= xs_[k + 1]) ok = false;
    }
    if (ok) return;
    std::vector<Rect> rects;
    forEachRect([&](int32_t t, int32_t btm, int32_t x0, int32_t x1) { rects.push_back({x0, t, x1, btm}); });
    *this = fromRects(rects);
}

bool Region::operator==(const Region &o) const {
    if (bands_.size() != o.bands_.size()) return false;
    for (size_t i = 0; i < bands_.size(); ++i) {
        const Band &a = bands_[i], &b = o.bands_[i];
        if (a.top != b.top || a.bottom != b.bottom || a.end - a.begin != b.end - b.begin) return false;
        if (!std::equal(xs_.begin() + a.begin, xs_.begin() + a.end, o.xs_.begin() + b.begin))
            return false;
    }
    return true;
}

}  // namespace vellora::gdi
