// Pixel memory for DIB sections, kept per thread for the next bitmaps of
// about the same size: a fresh block costs a page fault per 4 KiB on first touch, which
// was most of a call at 1000 x 1000 (two 16 MB bitmaps a call).
#pragma once

#include <cstddef>
#include <cstdint>

namespace vellora::native {

// At most this many blocks are kept per thread (one call uses two) ...
constexpr int kPooledBlocksPerThread = 2;
// ... each at most this large (a 2,000 x 2,000 target's bitmaps fit) ...
constexpr size_t kPooledBlockMaxBytes = size_t(64) << 20;
// ... and at most this much over all threads together.
constexpr size_t kPooledTotalMaxBytes = size_t(256) << 20;

// At least `bytes` of pixel memory, `*capacity` bytes in all: zeroed when
// fresh, the previous contents when it comes from the thread's pool (a kept
// block serves any size up to its own and down to a quarter of it, so that
// a batch of pictures of nearly one size reuses it; a smaller picture leaves
// the kept blocks for the next large one). Null when out of memory.
uint8_t *acquirePixels(size_t bytes, size_t *capacity);
// Gives a block from acquirePixels back with its capacity: kept for this
// thread when the bounds allow, else freed.
void releasePixels(uint8_t *block, size_t capacity);
// Bytes kept in all threads' pools now.
size_t pooledPixelBytes();

}  // namespace vellora::native
