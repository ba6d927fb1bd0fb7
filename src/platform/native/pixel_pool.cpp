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

uint8_t *acquirePixels(size_t bytes) {
    if (!t_poolGone) {
        Pool &p = t_pool;
        for (int i = 0; i < kPooledBlocksPerThread; ++i)
            if (p.block[i] && p.bytes[i] == bytes) {
                uint8_t *b = p.block[i];
                p.block[i] = nullptr;
                p.bytes[i] = 0;
                g_pooledBytes.fetch_sub(bytes, std::memory_order_relaxed);
                return b;
            }
        // Another size: what the pool holds is for an earlier size, and
        // keeping it would only hold memory.
        for (int i = 0; i < kPooledBlocksPerThread; ++i)
            if (p.block[i]) p.drop(i);
    }
    return static_cast<uint8_t *>(std::calloc(bytes, 1));
}

void releasePixels(uint8_t *block, size_t bytes) {
    if (!block) return;
    if (!t_poolGone && bytes <= kPooledBlockMaxBytes) {
        Pool &p = t_pool;
        for (int i = 0; i < kPooledBlocksPerThread; ++i) {
            if (p.block[i]) continue;
            // Reserve the bytes first, so that threads together stay within the bound.
            size_t held = g_pooledBytes.load(std::memory_order_relaxed);
            while (held + bytes <= kPooledTotalMaxBytes &&
                   !g_pooledBytes.compare_exchange_weak(held, held + bytes,
                                                        std::memory_order_relaxed)) {
            }
            if (held + bytes > kPooledTotalMaxBytes) break;
            p.block[i] = block;
            p.bytes[i] = bytes;
            return;
        }
    }
    std::free(block);
}

size_t pooledPixelBytes() { return g_pooledBytes.load(std::memory_order_relaxed); }

}  // namespace vellora::native
