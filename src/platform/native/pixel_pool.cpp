#include "platform/native/pixel_pool.h"

#include <atomic>
#include <cstdlib>

namespace vellora::native {

namespace {

std::atomic<size_t> g_pooledBytes{0};

struct Pool {
    uint8_t *block[kPooledBlocksPerThread] = {};
    size_t bytes[kPooledBlocksPerThread] = {};

    void drop(int i) {
        std::free(block[i]);
        g_pooledBytes.fetch_sub(bytes[i], std::memory_order_relaxed);
        block[i] = nullptr;
        bytes[i] = 0;
    }
    ~Pool();
};

// Trivially destructible, so still readable after the pool itself is gone
// during the thread's exit.
thread_local bool t_poolGone = false;
thread_local Pool t_pool;

Pool::~Pool() {
    for (int i = 0; i < kPooledBlocksPerThread; ++i)
        if (block[i]) drop(i);
    t_poolGone = true;
}

}  // namespace

uint8_t *acquirePixels(size_t bytes, size_t *capacity) {
    if (!t_poolGone) {
        Pool &p = t_pool;
        // The smallest kept block that holds `bytes` without wasting more
        // than three quarters of itself.
        int best = -1;
        for (int i = 0; i < kPooledBlocksPerThread; ++i)
            if (p.block[i] && p.bytes[i] >= bytes && p.bytes[i] / 4 <= bytes &&
                (best < 0 || p.bytes[i] < p.bytes[best]))
                best = i;
        if (best >= 0) {
            uint8_t *b = p.block[best];
            *capacity = p.bytes[best];
            g_pooledBytes.fetch_sub(p.bytes[best], std::memory_order_relaxed);
            p.block[best] = nullptr;
            p.bytes[best] = 0;
            return b;
        }
        // A size far from the kept ones: keeping them would only hold memory.
        for (int i = 0; i < kPooledBlocksPerThread; ++i)
            if (p.block[i]) p.drop(i);
    }
    *capacity = bytes;
    return static_cast<uint8_t *>(std::calloc(bytes, 1));
}

void releasePixels(uint8_t *block, size_t capacity) {
    if (!block) return;
    if (!t_poolGone && capacity <= kPooledBlockMaxBytes) {
        Pool &p = t_pool;
        for (int i = 0; i < kPooledBlocksPerThread; ++i) {
            if (p.block[i]) continue;
            // Reserve the capacity first, so that threads together stay within the bound.
            size_t held = g_pooledBytes.load(std::memory_order_relaxed);
            while (held + capacity <= kPooledTotalMaxBytes &&
                   !g_pooledBytes.compare_exchange_weak(held, held + capacity,
                                                        std::memory_order_relaxed)) {
            }
            if (held + capacity > kPooledTotalMaxBytes) break;
            p.block[i] = block;
            p.bytes[i] = capacity;
            return;
        }
    }
    std::free(block);
}

size_t pooledPixelBytes() { return g_pooledBytes.load(std::memory_order_relaxed); }

}  // namespace vellora::native
