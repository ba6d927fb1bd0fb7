// Bounds that keep playback of hostile metafiles finite: every loop and
// allocation in gdi/ and player/ is capped by one of these.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vellora::gdi::limits {

// Device coordinates are clamped to this magnitude (in double) before they
// are rounded to integers; anything this far off the canvas is invisible,
// and the integer rasterisers stay clear of 32-bit overflow.
constexpr double kMaxDeviceCoord = 1 << 26;

// Logical coordinates are 32-bit in the records; extents and pen widths the
// transforms produce are capped here before they are used as integers.
constexpr int32_t kMaxPenWidth = 1 << 16;

// SaveDC nesting the player follows; deeper saves are ignored.
constexpr int kMaxSaveDepth = 1024;

// Points in one figure, one path, or one polygon set.
constexpr size_t kMaxPoints = size_t(1) << 24;

// Rectangles one region may hold (RGNDATA records, clip regions).
constexpr size_t kMaxRegionRects = size_t(1) << 20;

// Spans one primitive may produce before it is dropped.
constexpr size_t kMaxSpans = size_t(1) << 24;

// Work budget of one playback: rasteriser steps (edge rows, line pixels,
// region spans). Playback stops drawing, but keeps what was drawn, when a
// file asks for more.
constexpr uint64_t kMaxRasterWork = uint64_t(1) << 30;

// Entries of a user dash style (EXTCREATEPEN).
constexpr uint32_t kMaxStyleEntries = 16;

// Ellipses and arcs up to this size (device pixels) are stepped pixel by
// pixel as the platform steps them; larger ones, far beyond any canvas,
// are drawn as polygons.
constexpr int64_t kMaxExactEllipse = 1 << 16;

// Segments a curve or an arc is flattened into.
constexpr int kMaxCurveSegments = 1 << 12;

}  // namespace vellora::gdi::limits
