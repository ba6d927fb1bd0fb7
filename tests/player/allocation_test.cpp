// Playback of the common geometry records reuses its working memory: once
// it has grown, more records of the same kinds cost no more allocations.
// This binary counts every allocation made through operator new.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "canvas.h"
#include "text_records.h"

namespace {
std::atomic<size_t> gAllocations{0};
}  // namespace

// The replacements pair malloc with free themselves; GCC cannot see that
// once they are inlined into one another.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void *operator new(std::size_t n) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void *p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void *operator new[](std::size_t n) { return ::operator new(n); }
// The library's own nothrow forms would pair with the frees below.
void *operator new(std::size_t n, const std::nothrow_t &) noexcept {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(n ? n : 1);
}
void *operator new[](std::size_t n, const std::nothrow_t &t) noexcept { return ::operator new(n, t); }
void operator delete(void *p, const std::nothrow_t &) noexcept { std::free(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { std::free(p); }
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

using vtest::EmfWriter;

// `groups` repetitions of lines, polylines, polygons, rectangles and
// ellipses, with thin and wide pens, under a rectangular clip.
std::vector<uint8_t> geometry(int groups) {
    EmfWriter w = ptest::pixelWriter(300, 200);
    w.createBrush(1, 0, vtest::rgb(0, 128, 0)).select(1);
    w.createPen(2, 0, 1, vtest::rgb(0, 0, 255));
    w.createPen(3, 0, 7, vtest::rgb(255, 0, 0));
    w.selectClipRects(5, {{10, 10, 290, 190}});
    for (int i = 0; i < groups; ++i) {
        const int x = (i * 37) % 250, y = (i * 53) % 150;
        w.select(i % 2 ? 2 : 3);
        w.moveTo(x, y).lineTo(x + 40, y + 30);
        w.polyline({{x, y}, {x + 20, y + 5}, {x + 10, y + 30}}, true);
        w.polygon({{x, y}, {x + 30, y}, {x + 30, y + 20}, {x + 5, y + 25}}, true);
        w.rectangle(x, y, x + 25, y + 15);
        w.ellipse(x, y, x + 20, y + 14);
    }
    return w.bytes();
}

// `groups` text records: plain, with advances, opaque and clipped, in
// smoothed and aliased fonts of the same face.
std::vector<uint8_t> text(int groups) {
    EmfWriter w = ptest::pixelWriter(300, 200);
    ttest::FontSpec plain, smooth;
    smooth.quality = 4;  // ANTIALIASED_QUALITY
    ttest::createFont(w, 1, plain);
    ttest::createFont(w, 2, smooth);
    w.record(ttest::kTypeSetBkMode, {1});
    for (int i = 0; i < groups; ++i) {
        ttest::TextSpec t;
        t.x = (i * 37) % 250, t.y = (i * 53) % 150;
        w.select(i % 2 ? 1 : 2);
        ttest::textW(w, u"Record", t);
        t.dx = {9, 8, 9, 8, 9, 8};
        ttest::textW(w, u"Tables", t);
        ttest::TextSpec boxed = t;
        boxed.dx.clear();
        boxed.options = ttest::kOpaque | ttest::kClipped;
        boxed.rect[0] = t.x, boxed.rect[1] = t.y, boxed.rect[2] = t.x + 30, boxed.rect[3] = t.y + 12;
        ttest::textW(w, u"Clipped", boxed);
    }
    return w.bytes();
}

size_t allocationsToPlay(const std::vector<uint8_t> &bytes) {
    ptest::Canvas canvas(300, 200);
    const size_t before = gAllocations.load();
    EXPECT_TRUE(canvas.play(bytes));
    return gAllocations.load() - before;
}

}  // namespace

TEST(Allocations, MoreGeometryRecordsCostNoMoreAllocations) {
    const std::vector<uint8_t> some = geometry(100), more = geometry(300);
    allocationsToPlay(some);  // nothing process-wide left to set up
    const size_t a = allocationsToPlay(some), b = allocationsToPlay(more);
    // 200 more groups are 1,200 more records; a few allocations may come
    // from working memory growing further.
    EXPECT_LT(b, a + 60) << a << " for 100 groups, " << b << " for 300";
    std::printf("allocations: %zu for 100 groups, %zu for 300\n", a, b);
}

TEST(Allocations, MoreTextRecordsCostNoMoreAllocations) {
    const std::vector<uint8_t> some = text(100), more = text(300);
    allocationsToPlay(some);  // fonts found, glyphs cached
    const size_t a = allocationsToPlay(some), b = allocationsToPlay(more);
    EXPECT_LT(b, a + 60) << a << " for 100 groups, " << b << " for 300";
    std::printf("allocations: %zu for 100 groups, %zu for 300\n", a, b);
}
