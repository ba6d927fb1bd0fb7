// The rectangle two corners span, whichever way round they come.
#pragma once

#include <algorithm>

#include "gdi/types.h"

namespace vellora::gdi {

inline Rect orderedRect(Point a, Point b) {
    return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

}  // namespace vellora::gdi
