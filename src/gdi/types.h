// Small value types shared by the device context and its rasterisers.
#pragma once

#include <cmath>
#include <cstdint>

#include "gdi/playback_limits.h"

namespace vellora::gdi {

struct Point {
    int32_t x = 0, y = 0;
};
inline bool operator==(Point a, Point b) { return a.x == b.x && a.y == b.y; }
inline bool operator!=(Point a, Point b) { return !(a == b); }

struct PointF {
    double x = 0, y = 0;
};

// Half-open rectangle [left, right) x [top, bottom) in device pixels.
struct Rect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool empty() const { return left >= right || top >= bottom; }
};

inline Rect intersect(const Rect &a, const Rect &b) {
    Rect r{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
           a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom};
    return r;
}

// An affine transform in the platform's XFORM convention:
// x' = x*m11 + y*m21 + dx, y' = x*m12 + y*m22 + dy.
struct Matrix {
    double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;

    PointF apply(double x, double y) const {
        return {x * m11 + y * m21 + dx, x * m12 + y * m22 + dy};
    }
    // The linear part only (vectors, extents).
    PointF applyVector(double x, double y) const { return {x * m11 + y * m21, x * m12 + y * m22}; }
    double determinant() const { return m11 * m22 - m12 * m21; }
    bool finite() const {
        return std::isfinite(m11) && std::isfinite(m12) && std::isfinite(m21) &&
               std::isfinite(m22) && std::isfinite(dx) && std::isfinite(dy);
    }
    bool invertible() const {
        const double d = determinant();
        return finite() && std::isfinite(d) && d != 0;
    }
    Matrix inverse() const {
        const double d = determinant();
        Matrix r;
        r.m11 = m22 / d;
        r.m12 = -m12 / d;
        r.m21 = -m21 / d;
        r.m22 = m11 / d;
        r.dx = (m21 * dy - m22 * dx) / d;
        r.dy = (m12 * dx - m11 * dy) / d;
        return r;
    }
};

// `a` first, then `b` (the platform's CombineTransform(out, a, b)).
inline Matrix combine(const Matrix &a, const Matrix &b) {
    Matrix r;
    r.m11 = a.m11 * b.m11 + a.m12 * b.m21;
    r.m12 = a.m11 * b.m12 + a.m12 * b.m22;
    r.m21 = a.m21 * b.m11 + a.m22 * b.m21;
    r.m22 = a.m21 * b.m12 + a.m22 * b.m22;
    r.dx = a.dx * b.m11 + a.dy * b.m21 + b.dx;
    r.dy = a.dx * b.m12 + a.dy * b.m22 + b.dy;
    return r;
}

// The platform keeps transforms in single precision; rounding through float
// reproduces where its integer rounding of device points lands.
inline Matrix toSingle(const Matrix &m) {
    Matrix r;
    r.m11 = double(float(m.m11));
    r.m12 = double(float(m.m12));
    r.m21 = double(float(m.m21));
    r.m22 = double(float(m.m22));
    r.dx = double(float(m.dx));
    r.dy = double(float(m.dy));
    return r;
}

inline double clampCoord(double v) {
    if (!(v == v)) return 0;  // NaN
    if (v > limits::kMaxDeviceCoord) return limits::kMaxDeviceCoord;
    if (v < -limits::kMaxDeviceCoord) return -limits::kMaxDeviceCoord;
    return v;
}

// floor(v + 0.5), the platform's rounding of transformed points.
inline int32_t roundCoord(double v) { return int32_t(std::floor(clampCoord(v) + 0.5)); }

}  // namespace vellora::gdi
