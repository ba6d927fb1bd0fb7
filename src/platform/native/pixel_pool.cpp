#include "platform/native/pixel_pool.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace vellora::native {

namespace {

std::atomic<size_t> g_pooledBytes{0};

#if defined(__linux__) && defined(MADV_HUGEPAGE)
// Blocks of this size and more are mapped on their own, in 2 MiB pages
// where the system allows: a bitmap's first touch then costs a handful of
// faults instead of one per 4 KiB, and its walks fewer TLB misses.
constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kMappedFrom = 2 * kHugePage;

size_t mappedSize(size_t bytes) { return (bytes + kHugePage - 1) & ~(kHugePage - 1); }

// Zeroed memory of `size` bytes (a multiple of kHugePage), aligned to a
// huge page.
uint8_t *mapBlock(size_t size) {
    void *m = ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED) return nullptr;
    const uintptr_t at = reinterpret_cast<uintptr_t>(m);
    const uintptr_t aligned = (at + kHugePage - 1) & ~uintptr_t(kHugePage - 1);
    if (aligned > at) ::munmap(m, aligned - at);
    if (aligned + size < at + size + kHugePage) ::munmap(reinterpret_cast<void *>(aligned + size), at + kHugePage - aligned);
    ::madvise(reinterpret_cast<void *>(aligned), size, MADV_HUGEPAGE);
    return reinterpret_cast<uint8_t *>(aligned);
}

uint8_t *allocateBlock(size_t bytes, size_t *capacity) {
    if (bytes >= kMappedFrom) {
        *capacity = mappedSize(bytes);
        return mapBlock(*capacity);
    }
    *capacity = bytes;
    return static_cast<uint8_t *>(std::calloc(bytes, 1));
}

void freeBlock(uint8_t *block, size_t capacity) {
    if (capacity >= kMappedFrom) ::munmap(block, capacity);
    else std::free(block);
}
#else
uint8_t *allocateBlock(size_t bytes, size_t *capacity) {
    *capacity = bytes;
    return static_cast<uint8_t *>(std::calloc(bytes, 1));
}

void freeBlock(uint8_t *block, size_t) { std::free(block); }
#endif

struct Pool {
    uint8_t *block[kPooledBlocksPerThread] = {};
    size_t bytes[kPooledBlocksPerThread] = {};

    void drop(int i) {
        freeBlock(block[i], bytes[i]);
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
        // Blocks too small for this size go, so that the fresh one takes
        // their place; larger ones stay for the next pictures of their size.
        for (int i = 0; i < kPooledBlocksPerThread; ++i)
            if (p.block[i] && p.bytes[i] < bytes) p.drop(i);
        // A fresh block that will be kept gets room for pictures a little
        // larger: pages never written cost address space only.
        const size_t roomy = bytes + bytes / 4;
        if (roomy <= kPooledBlockMaxBytes)
            if (uint8_t *b = allocateBlock(roomy, capacity)) return b;
    }
    return allocateBlock(bytes, capacity);
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
    freeBlock(block, capacity);
}

size_t pooledPixelBytes() { return g_pooledBytes.load(std::memory_order_relaxed); }

}  // namespace vellora::native
