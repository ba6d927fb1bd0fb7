// Whether playback stays linear in the number of records: EMF files of 10^3
// to 10^6 records of one family each, played by the native player into a
// fixed 320 x 240 canvas. The ns/record counter should stay flat from one
// size to the next; a family whose cost per record climbs with the count is
// doing work that grows with the file.
//   vellora_linearity_bench [--benchmark_filter=/100000$] ...
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bitmap_records.h"
#include "player/player.h"
#include "support/emf_writer.h"
#include "text_records.h"
#include "vellora.h"

using namespace vellora;
using vtest::EmfWriter;

namespace {

enum : uint32_t { kSaveDC = 33, kRestoreDC = 34, kIntersectClipRect = 30, kExcludeClipRect = 29 };
constexpr uint32_t kRgnCopy = 5;

// The same pseudo-random numbers on every run.
struct Lcg {
    uint32_t s = 12345;
    int32_t operator()(int32_t n) {
        s = s * 1664525u + 1013904223u;
        return int32_t((s >> 8) % uint32_t(n));
    }
};

// A frame of 1000 x 1000 reference pixels, with a pen, a brush, a font and a
// clip in place, so that every family draws with (and saves) a full state.
EmfWriter start() {
    EmfWriter w(0, 0, 10000, 10000);
    w.createPen(1, 0, 3, vtest::rgb(20, 20, 160)).select(1);
    w.createBrush(2, 0, vtest::rgb(200, 60, 40)).select(2);
    ttest::FontSpec font;
    font.height = -24;
    ttest::createFont(w, 3, font);
    w.select(3);
    w.record(ttest::kTypeSetBkMode, {1});  // transparent
    w.selectClipRects(kRgnCopy, {{10, 10, 990, 990}});
    return w;
}

using Family = void (*)(EmfWriter &, int64_t, Lcg &);

void lines(EmfWriter &w, int64_t n, Lcg &r) {
    for (int64_t i = 0; i < n; i += 2) {
        w.moveTo(r(1000), r(1000));
        if (i + 1 < n) w.lineTo(r(1000), r(1000));
    }
}

void polygons(EmfWriter &w, int64_t n, Lcg &r) {
    for (int64_t i = 0; i < n; ++i) {
        const int32_t x = r(900), y = r(900);
        w.polygon({{x, y}, {x + 80, y + r(20)}, {x + 60, y + 90}, {x + r(30), y + 60}, {x + 10, y + 30}},
                  true);
    }
}

void text(EmfWriter &w, int64_t n, Lcg &r) {
    ttest::TextSpec t;
    for (int64_t i = 0; i < n; ++i) {
        t.x = r(900);
        t.y = r(950);
        ttest::textW(w, u"Vellora 0123", t);
    }
}

void blits(EmfWriter &w, int64_t n, Lcg &r) {
    std::vector<uint32_t> px(8 * 8);
    for (size_t i = 0; i < px.size(); ++i) px[i] = uint32_t(i * 0x040810u) & 0xFFFFFFu;
    const btest::Dib dib = btest::dib24(8, px);
    for (int64_t i = 0; i < n; ++i)
        btest::stretchDIBits(w, r(960), r(960), 40, 40, 0, 0, 8, 8, dib);
}

// Each region is set afresh every third record, so the clip stays a few
// rectangles however long the file.
void clips(EmfWriter &w, int64_t n, Lcg &r) {
    for (int64_t i = 0; i < n; ++i) {
        const int32_t x = r(800), y = r(800);
        switch (i % 3) {
        case 0:
            w.selectClipRects(kRgnCopy, {{x, y, x + 150, y + 100}, {x + 50, y + 120, x + 200, y + 190}});
            break;
        case 1: w.record(kIntersectClipRect, {x - 100, y - 100, x + 300, y + 300}); break;
        default: w.record(kExcludeClipRect, {x + 20, y + 20, x + 60, y + 60}); break;
        }
    }
}

// Two deep, then back: SAVEDC, SAVEDC, RESTOREDC -1, RESTOREDC -1.
void saveRestore(EmfWriter &w, int64_t n, Lcg &) {
    for (int64_t i = 0; i < n; ++i) {
        if (i % 4 < 2) w.record(kSaveDC, {});
        else w.record(kRestoreDC, {-1});
    }
}

// The file last made: a benchmark is entered more than once per size.
const std::vector<uint8_t> &metafile(Family f, int64_t n) {
    static Family lastFamily = nullptr;
    static int64_t lastCount = -1;
    static std::vector<uint8_t> bytes;
    if (f != lastFamily || n != lastCount) {
        bytes.clear();
        bytes.shrink_to_fit();
        EmfWriter w = start();
        Lcg r;
        f(w, n, r);
        bytes = w.bytes();
        lastFamily = f;
        lastCount = n;
    }
    return bytes;
}

void play(benchmark::State &st, Family f) {
    const int64_t n = st.range(0);
    const std::vector<uint8_t> &emf = metafile(f, n);
    const int32_t w = 320, h = 240;
    std::vector<uint32_t> px(size_t(w) * h, 0);
    const player::Surface canvas{reinterpret_cast<uint8_t *>(px.data()) + size_t(h - 1) * w * 4, w, h,
                                 -ptrdiff_t(w) * 4};
    const RECT rect{0, 0, w - 1, h - 1};
    for (auto _ : st) {
        if (!player::playEnhMetaFile(canvas, emf.data(), emf.size(), rect)) {
            st.SkipWithError("not played");
            break;
        }
        benchmark::ClobberMemory();
    }
    st.counters["ns/record"] = benchmark::Counter(double(n), benchmark::Counter::kIsIterationInvariantRate |
                                                                 benchmark::Counter::kInvert);
    st.counters["MB"] = double(emf.size()) / 1e6;
}

}  // namespace

int main(int argc, char **argv) {
    const struct {
        const char *name;
        Family f;
    } families[] = {{"lines", lines}, {"polygons", polygons}, {"text", text},
                    {"blits", blits}, {"clips", clips},       {"save_restore", saveRestore}};
    for (const auto &fam : families)
        benchmark::RegisterBenchmark(fam.name, play, fam.f)
            ->RangeMultiplier(10)
            ->Range(1000, 1000000)
            ->Unit(benchmark::kMillisecond);
    VelloraLoadFonts();  // the first text of a process finds the fonts; not a record's cost
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
