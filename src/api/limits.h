// Resource limits of one call, in one place.
#pragma once

#include <cstdint>

namespace vellora::limits {

// The two 32-bit bitmaps of a call, together. A 4000 x 3000 target needs
// about 384 MiB; the limit leaves room for a little more than 5000 x 5000.
constexpr uint64_t kMaxCanvasPairBytes = uint64_t(1) << 30;

// The largest metafile file the loaders read whole into memory.
constexpr uint32_t kMaxFileBytes = 1u << 30;

}  // namespace vellora::limits
