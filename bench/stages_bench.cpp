// Per-stage cost of one call, against a memcpy of the canvas as the floor.
// Counters report ns per output pixel.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "pipeline/capture.h"
#include "pipeline/resample.h"
#include "pipeline/resample_kernels.h"
#include "platform/native/compositor.h"
#include "player/player.h"
#include "support/emf_writer.h"
#include "support/resample_agg.h"
#include "vellora.h"

using namespace vellora;

namespace {

struct Stage {
    int32_t w, h, W, H;
    std::vector<uint8_t> canvas, out;
    explicit Stage(int32_t n) : Stage(n, n) {}
    Stage(int32_t w_, int32_t h_)
        : w(w_), h(h_), W(2 * w_ + 2), H(2 * h_ + 2), canvas(size_t(W) * H * 4), out(canvas.size()) {
        // A picture: a disc of colour on transparent ground.
        presetCanvas(canvas.data(), size_t(W) * H, 255);
        for (int32_t y = 0; y < H; ++y)
            for (int32_t x = 0; x < W; ++x) {
                const int64_t dx = x - W / 2, dy = y - H / 2;
                if (dx * dx + dy * dy < int64_t(W / 3) * (W / 3)) {
                    uint8_t *p = &canvas[(size_t(y) * W + x) * 4];
                    p[0] = 30, p[1] = 120, p[2] = 220, p[3] = 0;
                }
            }
        applyKey(canvas.data(), size_t(W) * H, 255);
    }
};

void perPixel(benchmark::State &st, int64_t pixels) {
    st.counters["ns/px"] = benchmark::Counter(double(pixels), benchmark::Counter::kIsIterationInvariantRate |
                                                                  benchmark::Counter::kInvert);
}

void BM_MemcpyCanvas(benchmark::State &st) {
    Stage s(int32_t(st.range(0)), int32_t(st.range(1)));
    for (auto _ : st) {
        std::memcpy(s.out.data(), s.canvas.data(), s.canvas.size());
        benchmark::ClobberMemory();
    }
    perPixel(st, int64_t(s.w) * s.h);
}

void BM_KeyPassAndBorder(benchmark::State &st) {
    Stage s(int32_t(st.range(0)), int32_t(st.range(1)));
    const size_t px = size_t(s.W) * s.H;
    for (auto _ : st) {
        presetCanvas(s.out.data(), px, 255);
        applyKey(s.out.data(), px, 255);
        clearBorder(s.out.data(), s.W, s.H);
        benchmark::ClobberMemory();
    }
    perPixel(st, int64_t(s.w) * s.h);
}

// Angles in tenths of a radian; 16 stands for a quarter turn, pi / 2.
double angleOf(int64_t arg) { return arg == 16 ? M_PI / 2 : double(arg) / 10.0; }

// The resampler as the pipeline calls it (the fastest form this machine runs).
void BM_Resample(benchmark::State &st) {
    Stage s(int32_t(st.range(0)), int32_t(st.range(1)));
    const double angle = angleOf(st.range(2));
    for (auto _ : st) {
        resampleCanvas(s.canvas.data(), s.out.data(), s.w, s.h, angle);
        benchmark::ClobberMemory();
    }
    perPixel(st, int64_t(s.w) * s.h);
}

// Its SSE2 form alone, what the Windows DLL runs.
void BM_ResampleSse2(benchmark::State &st) {
    Stage s(int32_t(st.range(0)), int32_t(st.range(1)));
    const double angle = angleOf(st.range(2));
    for (auto _ : st) {
        resample::resampleWith(resample::Code::Sse2, s.canvas.data(), s.out.data(), s.w, s.h, angle);
        benchmark::ClobberMemory();
    }
    perPixel(st, int64_t(s.w) * s.h);
}

// AGG 2.4's own path, which the resampler reproduces byte for byte.
void BM_ResampleAgg(benchmark::State &st) {
    Stage s(int32_t(st.range(0)), int32_t(st.range(1)));
    const double angle = angleOf(st.range(2));
    for (auto _ : st) {
        vtest::resampleCanvasAgg(s.canvas.data(), s.out.data(), s.w, s.h, angle);
        benchmark::ClobberMemory();
    }
    perPixel(st, int64_t(s.w) * s.h);
}

void BM_Blend(benchmark::State &st) {
    Stage s(int32_t(st.range(0)), int32_t(st.range(1)));
    resampleCanvas(s.canvas.data(), s.out.data(), s.w, s.h, 0.0);
    std::vector<uint8_t> dst(size_t(s.w) * s.h * 4, 0x80);
    player::Surface d{dst.data(), s.w, s.h, ptrdiff_t(s.w) * 4};
    player::Surface src{s.out.data() + size_t(s.H - 1) * s.W * 4, s.W, s.H, -ptrdiff_t(s.W) * 4};
    for (auto _ : st) {
        native::sourceOver(d, 0, 0, src, 0, 0, s.w, s.h);
        benchmark::ClobberMemory();
    }
    perPixel(st, int64_t(s.w) * s.h);
}

// A simple picture: a filled ellipse and a wide-pen rectangle.
std::vector<uint8_t> simplePicture() {
    vtest::EmfWriter w(0, 0, 10000, 10000);
    w.createBrush(1, 0, vtest::rgb(200, 40, 40)).select(1).ellipse(50, 50, 950, 950);
    w.createPen(2, 0, 8, vtest::rgb(0, 0, 0)).select(2).rectangle(100, 100, 900, 600);
    return w.bytes();
}

void BM_Playback(benchmark::State &st) {
    Stage s(int32_t(st.range(0)), int32_t(st.range(1)));
    const std::vector<uint8_t> emf = simplePicture();
    player::Surface canvas{s.canvas.data() + size_t(s.H - 1) * s.W * 4, s.W, s.H,
                           -ptrdiff_t(s.W) * 4};
    const RECT r{1, 0, 2 * s.w + 1, 2 * s.h};
    for (auto _ : st) {
        player::playEnhMetaFile(canvas, emf.data(), emf.size(), r);
        benchmark::ClobberMemory();
    }
    perPixel(st, int64_t(s.w) * s.h);
}

void BM_WholeCall(benchmark::State &st) {
    const int n = int(st.range(0)), m = int(st.range(1));
    const std::vector<uint8_t> emf = simplePicture();
    HENHMETAFILE mf = VelloraSetEnhMetaFileBits(unsigned(emf.size()), emf.data());
    std::vector<uint8_t> px(size_t(n) * m * 4, 0xFF);
    HDC dc = VelloraCreateBitmapDC(px.data(), n, m, n * 4);
    const RECT r{0, 0, n - 1, m - 1};
    const double angle = angleOf(st.range(2));
    for (auto _ : st) benchmark::DoNotOptimize(Vellora(dc, mf, &r, 255, angle, 0, 0, 1, 1));
    VelloraDeleteDC(dc);
    VelloraDeleteEnhMetaFile(mf);
    perPixel(st, int64_t(n) * m);
}

}  // namespace

// Sizes: 320 x 240, 1000 x 1000 and 4000 x 3000; angles 0 and 0.3 where they
// matter, and a quarter turn at 1000 x 1000 for the resampler.
#define SIZES(b) b->Args({320, 240})->Args({1000, 1000})->Args({4000, 3000})
#define SIZES_ANGLES(b)                                                                       \
    b->Args({320, 240, 0})->Args({1000, 1000, 0})->Args({1000, 1000, 3})->Args({4000, 3000, 0}) \
        ->Args({4000, 3000, 3})
#define RESAMPLE_CASES(b) SIZES_ANGLES(b)->Args({1000, 1000, 16})
SIZES(BENCHMARK(BM_MemcpyCanvas))->Unit(benchmark::kMillisecond);
SIZES(BENCHMARK(BM_Playback))->Unit(benchmark::kMillisecond);
SIZES(BENCHMARK(BM_KeyPassAndBorder))->Unit(benchmark::kMillisecond);
RESAMPLE_CASES(BENCHMARK(BM_ResampleAgg))->Unit(benchmark::kMillisecond);
RESAMPLE_CASES(BENCHMARK(BM_ResampleSse2))->Unit(benchmark::kMillisecond);
RESAMPLE_CASES(BENCHMARK(BM_Resample))->Unit(benchmark::kMillisecond);
SIZES(BENCHMARK(BM_Blend))->Unit(benchmark::kMillisecond);
SIZES_ANGLES(BENCHMARK(BM_WholeCall))->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
