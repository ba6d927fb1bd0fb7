// A path as the platform keeps it: device points with point types.
#pragma once

#include <cstdint>
#include <vector>

#include "gdi/types.h"

namespace vellora::gdi {

enum : uint8_t { PT_CLOSEFIGURE = 1, PT_LINETO = 2, PT_BEZIERTO = 4, PT_MOVETO = 6 };

struct Path {
    bool open = false;  // between BeginPath and EndPath
    std::vector<Point> pts;
    std::vector<uint8_t> types;
    bool newFigure = true;  // the next point starts a figure

    void clear() {
        pts.clear();
        types.clear();
        newFigure = true;
    }
    bool full() const { return pts.size() >= limits::kMaxPoints; }
    void moveTo(Point p) {
        if (full()) return;
        pts.push_back(p);
        types.push_back(PT_MOVETO);
        newFigure = false;
    }
    void add(Point p, uint8_t type) {
        if (full()) return;
        pts.push_back(p);
        types.push_back(type);
    }
    void closeFigure() {
        if (!types.empty() && types.back() != PT_MOVETO) types.back() |= PT_CLOSEFIGURE;
        newFigure = true;
    }
};

// Flattens a path's curves into line figures: one point list per figure,
// and whether each figure is closed.
void flattenPath(const Path &path, std::vector<Point> &pts, std::vector<uint32_t> &counts,
                 std::vector<bool> &closed);

// Appends the flattened cubic Bezier from p0 through c1, c2 to p3
// (device points, p0 excluded), split as the platform splits it.
void flattenBezier(Point p0, Point c1, Point c2, Point p3, std::vector<Point> &out);

}  // namespace vellora::gdi
