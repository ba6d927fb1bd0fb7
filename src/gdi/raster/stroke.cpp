#include "gdi/raster/stroke.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "gdi/dc/objects.h"

namespace vellora::gdi {

Dasher::Dasher(const std::vector<uint32_t> &dashes) : dashes_(dashes) {
    if (dashes_.size() % 2) dashes_.insert(dashes_.end(), dashes.begin(), dashes.end());
    for (uint32_t d : dashes_) total_ += d;
}

bool Dasher::on(uint64_t pos) const {
    if (total_ == 0) return true;
    pos %= total_;
    for (size_t i = 0; i < dashes_.size(); ++i) {
        if (pos < dashes_[i]) return i % 2 == 0;
        pos -= dashes_[i];
    }
    return true;
}

void ellipseSpans(const Rect &r, SpanSink &out) {
    const int64_t w = int64_t(r.right) - r.left, h = int64_t(r.bottom) - r.top;
    if (w <= 0 || h <= 0) return;
    if (w < 2 || h < 2) {
        for (int32_t y = r.top; y < r.bottom; ++y) out.add(y, r.left, r.right);
        return;
    }
    std::vector<Point> pts;
    ellipsePoints(r, pts);
    std::vector<std::pair<int32_t, int32_t>> rows(size_t(h), {INT32_MAX, INT32_MIN});
    for (const Point &p : pts) {
        const int64_t row = int64_t(p.y) - r.top;
        if (row < 0 || row >= h) continue;
        auto &e = rows[size_t(row)];
        e.first = std::min(e.first, p.x);
        e.second = std::max(e.second, p.x);
    }
    for (int64_t i = 0; i < h; ++i)
        if (rows[size_t(i)].first <= rows[size_t(i)].second)
            out.add(int32_t(r.top + i), rows[size_t(i)].first, rows[size_t(i)].second + 1);
}

namespace {

struct Face {
    Point start, end;
    int64_t dx = 0, dy = 0;
};

// Rounds half away from zero, as the platform's segment builder does.
int32_t roundAway(double f) { return int32_t(f > 0 ? f + 0.5 : f - 0.5); }

class WideBuilder {
public:
    WideBuilder(int32_t width, uint32_t endcap, uint32_t join, double miterLimit, const Rect &clip,
                SpanSink &out, WorkBudget &work, StrokeScratch *scratch = nullptr)
        : w_(width), endcap_(endcap), join_(join), miter_(miterLimit), clip_(clip), out_(out),
          work_(work), scratch_(scratch ? scratch : &own_) {}

    // Segments start .. start+count of the polyline (indices wrap), from
    // `first` to `last` (which may lie inside the first and last segment).
    void segments(const Point *pts, size_t n, bool close, size_t start, size_t count, Point first,
                  Point last) {
        if (count == 0 || work_.exhausted()) return;
        if (!close) {
            cap(first);
            cap(last);
        }
        Face f1, f2, prev, firstFace;
        if (count == 1) {
            const Point a = pts[start % n], b = pts[(start + 1) % n];
            segment(first, last, int64_t(b.x) - a.x, int64_t(b.y) - a.y, true, true, f1, f2);
            return;
        }
        Point a = pts[start % n], b = pts[(start + 1) % n];
        segment(first, b, int64_t(b.x) - a.x, int64_t(b.y) - a.y, !close, false, firstFace, prev);
        for (size_t i = 1; i + 1 < count; ++i) {
            a = pts[(start + i) % n];
            b = pts[(start + i + 1) % n];
            if (segment(a, b, int64_t(b.x) - a.x, int64_t(b.y) - a.y, false, false, f1, f2)) {
                joinAt(a, prev, f1);
                prev = f2;
            }
        }
        a = pts[(start + count - 1) % n];
        b = pts[(start + count) % n];
        segment(a, last, int64_t(b.x) - a.x, int64_t(b.y) - a.y, false, !close, f1, f2);
        joinAt(a, prev, f1);
        if (close) joinAt(last, f2, firstFace);
    }

private:
    void polygon(const Point *p, size_t n) {
        const uint32_t c = uint32_t(n);
        fillPolygons(p, &c, 1, false, clip_, out_, work_, &scratch_->fill);
    }

    void roundDot(Point p) {
        const int32_t l = p.x - w_ / 2, t = p.y - w_ / 2;
        const Rect r{l, t, l + w_, t + w_};
        if (intersect(r, clip_).empty()) return;
        if (!work_.spend(uint64_t(w_))) return;
        // The pen's round dot, worked out once and moved to each point.
        std::vector<Span> &dot = scratch_->dot;
        if (scratch_->dotWidth != w_) {
            SpanSink sink;
            ellipseSpans({0, 0, w_, w_}, sink);
            sink.take(dot);
            std::sort(dot.begin(), dot.end(),
                      [](const Span &a, const Span &b) { return a.y != b.y ? a.y < b.y : a.x0 < b.x0; });
            scratch_->dotWidth = w_;
        }
        // Only the rows that can be seen: a wide pen's dot can be far taller
        // than the bitmap, and every span added is sorted later.
        auto first = std::lower_bound(dot.begin(), dot.end(), int64_t(clip_.top) - t,
                                      [](const Span &s, int64_t y) { return s.y < y; });
        for (auto it = first; it != dot.end() && int64_t(t) + it->y < clip_.bottom; ++it) {
            const int32_t x0 = std::max(l + it->x0, clip_.left), x1 = std::min(l + it->x1, clip_.right);
            out_.add(t + it->y, x0, x1);
        }
    }

    void cap(Point p) {
        if (endcap_ == PS_ENDCAP_ROUND) roundDot(p);
    }

    void rect(Rect r) {
        r = intersect(r, clip_);
        if (r.empty()) return;
        if (!work_.spend(uint64_t(r.bottom - r.top))) return;
        for (int32_t y = r.top; y < r.bottom; ++y) out_.add(y, r.left, r.right);
    }

    bool segment(Point p1, Point p2, int64_t dx, int64_t dy, bool cap1, bool cap2, Face &f1, Face &f2) {
        f1 = f2 = Face{p1, p1, 0, 0};
        if (dx == 0 && dy == 0) return false;
        const bool sq1 = cap1 && endcap_ == PS_ENDCAP_SQUARE, sq2 = cap2 && endcap_ == PS_ENDCAP_SQUARE;
        const int32_t half = w_ / 2;
        if (dy == 0) {
            Rect r{std::min(p1.x, p2.x), p1.y - half, std::max(p1.x, p2.x), p1.y - half + w_};
            if ((sq1 && dx > 0) || (sq2 && dx < 0)) r.left -= half;
            if ((sq2 && dx > 0) || (sq1 && dx < 0)) r.right += half;
            rect(r);
            if (dx > 0) {
                f1.start = {r.left, r.bottom};
                f1.end = {r.left, r.top};
                f2.start = {r.right - 1, r.top};
                f2.end = {r.right - 1, r.bottom};
            } else {
                f1.start = {r.right, r.top};
                f1.end = {r.right, r.bottom};
                f2.start = {r.left + 1, r.bottom};
                f2.end = {r.left + 1, r.top};
            }
        } else if (dx == 0) {
            Rect r{p1.x - half, std::min(p1.y, p2.y), p1.x - half + w_, std::max(p1.y, p2.y)};
            if ((sq1 && dy > 0) || (sq2 && dy < 0)) r.top -= half;
            if ((sq2 && dy > 0) || (sq1 && dy < 0)) r.bottom += half;
            rect(r);
            if (dy > 0) {
                f1.start = {r.left, r.top};
                f1.end = {r.right, r.top};
                f2.start = {r.right, r.bottom - 1};
                f2.end = {r.left, r.bottom - 1};
            } else {
                f1.start = {r.right, r.bottom};
                f1.end = {r.left, r.bottom};
                f2.start = {r.left, r.top + 1};
                f2.end = {r.right, r.top + 1};
            }
        } else {
            const double len = std::hypot(double(dx), double(dy));
            const double wx = w_ * double(std::llabs(dy)) / len, wy = w_ * double(std::llabs(dx)) / len;
            Point narrow{roundAway(wx / 2), roundAway(wy / 2)};
            Point wide{roundAway((wx + 1) / 2), roundAway((wy + 1) / 2)};
            if (dx < 0) {
                wide.y = -wide.y;
                narrow.y = -narrow.y;
            }
            if (dy < 0) {
                std::swap(narrow, wide);
                wide.x = -wide.x;
                narrow.x = -narrow.x;
            }
            Point s[4] = {{p1.x - narrow.x, p1.y + narrow.y},
                          {p1.x + wide.x, p1.y - wide.y},
                          {p2.x + wide.x, p2.y - wide.y},
                          {p2.x - narrow.x, p2.y + narrow.y}};
            if (sq1) {
                s[0].x -= narrow.y, s[1].x -= narrow.y;
                s[0].y -= narrow.x, s[1].y -= narrow.x;
            }
            if (sq2) {
                s[2].x += wide.y, s[3].x += wide.y;
                s[2].y += wide.x, s[3].y += wide.x;
            }
            polygon(s, 4);
            f1.start = s[0];
            f1.end = s[1];
            f2.start = s[2];
            f2.end = s[3];
        }
        f1.dx = f2.dx = dx;
        f1.dy = f2.dy = dy;
        return true;
    }

    void joinAt(Point p, const Face &a, const Face &b) {
        if (join_ == PS_JOIN_BEVEL || (join_ == PS_JOIN_MITER && !miter(p, a, b))) {
            const Point pts[4] = {a.start, b.end, a.end, b.start};
            polygon(pts, 4);
            return;
        }
        if (join_ != PS_JOIN_MITER) roundDot(p);
    }

    // The miter between the outer edges of two faces, when within the
    // miter limit.
    bool miter(Point p, Face a, Face b) {
        double det = double(a.dx) * b.dy - double(a.dy) * b.dx;
        if (det == 0) return false;
        if (det < 0) {
            std::swap(a, b);
            det = -det;
        }
        const Point p1 = a.start, p2 = b.end;
        const double ka = (double(p2.x) * b.dy - double(p2.y) * b.dx) / det;
        const double kb = (double(p1.x) * a.dy - double(p1.y) * a.dx) / det;
        const double x = ka * a.dx - kb * b.dx, y = ka * a.dy - kb * b.dy;
        if (((x - p.x) * (x - p.x) + (y - p.y) * (y - p.y)) * 4 > miter_ * miter_ * w_ * double(w_))
            return false;
        if (!std::isfinite(x) || !std::isfinite(y)) return false;
        const Point pts[5] = {b.start, a.start, {roundCoord(x), roundCoord(y)}, b.end, a.end};
        polygon(pts, 5);
        return true;
    }

    int32_t w_;
    uint32_t endcap_, join_;
    double miter_;
    Rect clip_;
    SpanSink &out_;
    WorkBudget &work_;
    StrokeScratch own_;
    StrokeScratch *scratch_;  // reused by every piece of the line
};

// Drops repeated points at both ends, which would give segments no
// direction.
void trimEnds(const Point *&pts, size_t &n) {
    while (n > 2 && pts[0] == pts[1]) ++pts, --n;
    while (n > 2 && pts[n - 1] == pts[n - 2]) --n;
}

}  // namespace

void wideLine(const Point *pts, size_t n, bool closed, int32_t width, uint32_t endcap, uint32_t join,
              double miterLimit, const Rect &clip, SpanSink &out, WorkBudget &work,
              StrokeScratch *scratch) {
    if (n == 0) return;
    WideBuilder b(width, endcap, join, miterLimit, clip, out, work, scratch);
    if (n == 1) {
        b.segments(pts, 1, false, 0, 0, pts[0], pts[0]);
        return;
    }
    trimEnds(pts, n);
    if (closed) b.segments(pts, n, true, 0, n, pts[0], pts[0]);
    else b.segments(pts, n, false, 0, n - 1, pts[0], pts[n - 1]);
}

namespace {

// One dashed figure, its pattern started `phase` units in.
// The clip widened by what a pen can reach: nothing farther from the clip
// paints a pixel of it, not even a miter.
struct Reach {
    double left, top, right, bottom;
    Reach(const Rect &clip, int32_t width, double miterLimit) {
        const double margin = double(width) * std::max(miterLimit, 1.0) + 4;
        left = clip.left - margin, top = clip.top - margin;
        right = clip.right + margin, bottom = clip.bottom + margin;
    }
    bool holds(const Point &p) const { return p.x >= left && p.x <= right && p.y >= top && p.y <= bottom; }
    // The part [t0, t1] of a + t (dx, dy), 0 <= t <= 1, within reach; false
    // when there is none (Liang-Barsky).
    bool part(Point a, double dx, double dy, double &t0, double &t1) const {
        t0 = 0, t1 = 1;
        bool visible = true;
        auto edge = [&](double p, double q) {
            if (p == 0) {
                if (q < 0) visible = false;
            } else if (p < 0) {
                t0 = std::max(t0, q / p);
            } else {
                t1 = std::min(t1, q / p);
            }
        };
        edge(-dx, a.x - left);
        edge(dx, right - a.x);
        edge(-dy, a.y - top);
        edge(dy, bottom - a.y);
        return visible && t0 <= t1;
    }
};

void dashRun(const Point *pts, size_t n, bool closed, int32_t width, uint32_t endcap, uint32_t join,
             double miterLimit, const std::vector<uint32_t> &dashesIn, uint64_t phase,
             const Rect &clip, SpanSink &out, WorkBudget &work) {
    if (n < 2) return;
    std::vector<uint32_t> dashes = dashesIn;
    uint64_t total = 0;
    for (uint32_t d : dashes) total += d;
    if (dashes.size() % 2) total *= 2;
    if (total == 0) return;
    WideBuilder b(width, endcap, join, miterLimit, clip, out, work);
    trimEnds(pts, n);

    size_t cur = 0;
    uint64_t left = dashes[0];
    bool mark = true;
    auto skip = [&](uint64_t s) {
        s %= total;
        do {
            if (left > s) {
                left -= s;
                return;
            }
            s -= left;
            if (++cur == dashes.size()) cur = 0;
            left = dashes[cur];
            mark = !mark;
        } while (s);
    };
    if (phase) skip(phase);

    const Reach reach(clip, width, miterLimit);

    size_t start = 0;
    int64_t curLen = 0;
    int64_t initialNum = 0;
    Point initialPoint{}, startPoint = pts[0], endPoint{};
    const size_t segs = closed ? n : n - 1;
    for (size_t i = 0; i < segs; ++i) {
        if (!work.spend(1)) return;
        const Point p1 = pts[i], p2 = pts[(closed && i == n - 1) ? 0 : i + 1];
        int64_t dx = int64_t(p2.x) - p1.x, dy = int64_t(p2.y) - p1.y;
        if (dx == 0 && dy == 0) continue;
        if (!mark && (initialNum != 0 || !closed)) {
            // In a gap, far from the clip: whole periods of the pattern paint
            // nothing there and leave it as it was, so step over them rather
            // than dash by dash (a wide pen keeps even distant parts of a
            // closed figure in play).
            const double len = dx == 0 || dy == 0 ? double(std::llabs(dx + dy))
                                                  : std::hypot(double(dx), double(dy));
            double t0, t1, ahead;  // how far on from curLen the segment stays out of reach
            if (!reach.part(p1, double(dx), double(dy), t0, t1) || double(curLen) > t1 * len)
                ahead = len - double(curLen);
            else
                ahead = std::max(0.0, t0 * len - double(curLen));
            if (ahead > 2.0 * double(total)) {
                const uint64_t periods = uint64_t((ahead - double(total)) / double(total));
                curLen += int64_t(periods * total);
            }
        }
        if (dy == 0 || dx == 0) {
            const int64_t len = dy == 0 ? std::llabs(dx) : std::llabs(dy);
            if (len - curLen < int64_t(left)) {
                skip(uint64_t(len - curLen));
                curLen = 0;
                continue;
            }
            curLen += int64_t(left);
            if (dy == 0) dx = dx > 0 ? curLen : -curLen;
            else dy = dy > 0 ? curLen : -curLen;
        } else {
            const double len = std::hypot(double(dx), double(dy));
            if (len - double(curLen) < double(left)) {
                skip(uint64_t(len - double(curLen)));
                curLen = 0;
                continue;
            }
            curLen += int64_t(left);
            dx = int64_t(double(dx) * double(curLen) / len);
            dy = int64_t(double(dy) * double(curLen) / len);
        }
        endPoint = {int32_t(p1.x + dx), int32_t(p1.y + dy)};
        if (mark) {
            if (!initialNum && closed) {
                initialNum = int64_t(i - start + 1);
                initialPoint = endPoint;
            } else {
                b.segments(pts, n, false, start, i - start + 1, startPoint, endPoint);
            }
        }
        if (!initialNum) initialNum = -1;
        skip(left);
        startPoint = endPoint;
        start = i;
        --i;  // the rest of the same segment
    }
    if (mark) {
        size_t count;
        if (initialNum > 0) {
            count = n - start + size_t(initialNum);
            endPoint = initialPoint;
        } else if (closed) {
            count = n - start;
            endPoint = pts[0];
        } else {
            count = n - start - 1;
            endPoint = pts[n - 1];
        }
        b.segments(pts, n, false, start, count, startPoint, endPoint);
    } else if (initialNum > 0) {
        b.segments(pts, n, false, 0, size_t(initialNum), pts[0], initialPoint);
    }
}

}  // namespace

void dashedWideLine(const Point *pts, size_t n, bool closed, int32_t width, uint32_t endcap,
                    uint32_t join, double miterLimit, const std::vector<uint32_t> &dashes,
                    const Rect &clip, SpanSink &out, WorkBudget &work) {
    if (n < 2) return;
    // Stepping dash by dash along the parts out of reach of the clip would
    // cost time in proportion to their length, so they are skipped whole.
    const Reach reach(clip, width, miterLimit);
    bool allInside = true;
    for (size_t i = 0; i < n && allInside; ++i) allInside = reach.holds(pts[i]);
    // A closed figure whose start is in view keeps its pattern's wrap-around.
    if (allInside || (closed && reach.holds(pts[0]))) {
        dashRun(pts, n, closed, width, endcap, join, miterLimit, dashes, 0, clip, out, work);
        return;
    }
    std::vector<Point> run;
    double runPhase = 0, walked = 0;
    auto flush = [&] {
        if (run.size() >= 2)
            dashRun(run.data(), run.size(), false, width, endcap, join, miterLimit, dashes,
                    uint64_t(runPhase), clip, out, work);
        run.clear();
    };
    const size_t segs = closed ? n : n - 1;
    for (size_t i = 0; i < segs; ++i) {
        if (!work.spend(1)) return;
        const Point a = pts[i], b = pts[i + 1 == n ? 0 : i + 1];
        const double dx = double(b.x) - a.x, dy = double(b.y) - a.y;
        const double len = dx == 0 || dy == 0 ? std::fabs(dx + dy) : std::hypot(dx, dy);
        double t0, t1;
        if (!reach.part(a, dx, dy, t0, t1)) {
            flush();
            walked += len;
            continue;
        }
        auto at = [&](double t) {
            return Point{int32_t(std::lround(a.x + t * dx)), int32_t(std::lround(a.y + t * dy))};
        };
        if (run.empty() || t0 > 0) {
            flush();
            run.push_back(t0 > 0 ? at(t0) : a);
            runPhase = walked + t0 * len;
        }
        run.push_back(t1 < 1 ? at(t1) : b);
        if (t1 < 1) flush();
        walked += len;
    }
    flush();
}

}  // namespace vellora::gdi
