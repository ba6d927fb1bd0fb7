// The resampler against AGG 2.4's own path: byte for byte, every form of it
// this machine can run, over random sizes, angles and canvases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "agg_image_filters.h"
#include "pipeline/capture.h"
#include "pipeline/resample.h"
#include "pipeline/resample_kernels.h"
#include "support/resample_agg.h"

using namespace vellora;

namespace {

// A small generator of our own, so that every platform draws the same cases.
struct Rng {
    uint64_t s;
    explicit Rng(uint64_t seed) : s(seed) {}
    uint32_t next() {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        return uint32_t(s >> 33);
    }
    int32_t in(int32_t lo, int32_t hi) { return lo + int32_t(next() % uint32_t(hi - lo + 1)); }
    double unit() { return next() / 2147483648.0; }  // [0, 1)
};

enum class Content { RandomBytes, Premultiplied, Saturated, AlphaEdges, Keyed, Count };
const char *name(Content c) {
    switch (c) {
    case Content::RandomBytes: return "random bytes";
    case Content::Premultiplied: return "premultiplied";
    case Content::Saturated: return "saturated";
    case Content::AlphaEdges: return "alpha edges";
    case Content::Keyed: return "keyed playback";
    default: return "?";
    }
}

// Canvas of a w x h target (bottom-up, (2w + 2) x (2h + 2) pixels).
std::vector<uint8_t> makeCanvas(Rng &rng, Content kind, int32_t w, int32_t h) {
    const int32_t W = 2 * w + 2, H = 2 * h + 2;
    const size_t px = size_t(W) * H;
    std::vector<uint8_t> c(px * 4);
    auto put = [&](size_t i, uint32_t b, uint32_t g, uint32_t r, uint32_t a) {
        const uint8_t px4[4] = {uint8_t(b), uint8_t(g), uint8_t(r), uint8_t(a)};
        std::memcpy(&c[i * 4], px4, 4);
    };
    switch (kind) {
    case Content::RandomBytes:
        for (auto &v : c) v = uint8_t(rng.next());
        break;
    case Content::Premultiplied:
        for (size_t i = 0; i < px; ++i) {
            const uint32_t a = rng.next() & 0xFF;
            put(i, rng.next() % (a + 1), rng.next() % (a + 1), rng.next() % (a + 1), a);
        }
        break;
    case Content::Saturated:
        // Mostly 255 everywhere, with 0 bytes sprinkled in.
        for (auto &v : c) v = (rng.next() % 16) ? 0xFF : 0x00;
        break;
    case Content::AlphaEdges: {
        // Half-planes and discs of opaque colour on transparent ground.
        const double nx = rng.unit() - 0.5, ny = rng.unit() - 0.5, d = rng.unit() * (W + H) / 2;
        const double cx = rng.unit() * W, cy = rng.unit() * H, r = rng.unit() * W / 2 + 1;
        const uint32_t b = rng.next() & 0xFF, g = rng.next() & 0xFF, rr = rng.next() & 0xFF;
        for (int32_t y = 0; y < H; ++y)
            for (int32_t x = 0; x < W; ++x) {
                const bool in = x * nx + y * ny < d - (W + H) / 4.0 ||
                                (x - cx) * (x - cx) + (y - cy) * (y - cy) < r * r;
                put(size_t(y) * W + x, in ? b : 0, in ? g : 0, in ? rr : 0, in ? 255 : 0);
            }
        break;
    }
    default: {
        // As capture leaves it: rectangles painted in colour over the key,
        // reaching the edges as a crop window lets them, then the key pass and
        // usually the cleared border.
        const uint8_t key = uint8_t(rng.next() % 3 == 0 ? 255 : rng.next() & 0xFF);
        presetCanvas(c.data(), px, key);
        for (int32_t n = rng.in(1, 6); n > 0; --n) {
            const int32_t x0 = rng.in(-W / 2, W), y0 = rng.in(-H / 2, H);
            const int32_t x1 = x0 + rng.in(1, W), y1 = y0 + rng.in(1, H);
            const uint32_t b = rng.next() & 0xFF, g = rng.next() & 0xFF, r = rng.next() & 0xFF;
            for (int32_t y = std::max(y0, 0); y < std::min(y1, H); ++y)
                for (int32_t x = std::max(x0, 0); x < std::min(x1, W); ++x)
                    put(size_t(y) * W + x, b, g, r, 0);
        }
        applyKey(c.data(), px, key);
        if (rng.next() % 4) clearBorder(c.data(), W, H);
        break;
    }
    }
    return c;
}

double pickAngle(Rng &rng) {
    static const double notable[] = {
        0.0,   -0.0,   M_PI / 2, -M_PI / 2, M_PI,     -M_PI, 1.5 * M_PI, 2 * M_PI, -2 * M_PI, 1e-9,
        -1e-9, 1e-15,  -1e-15,   1e-300,    M_PI / 4, 1e-4,  0.3,        100 * M_PI, 1e6};
    const int n = int(sizeof notable / sizeof notable[0]);
    switch (rng.next() % 6) {
    case 0:
    case 1: return notable[rng.next() % n];
    case 2: {
        // A few representable steps away from a notable angle.
        double a = notable[rng.next() % n];
        for (int32_t k = rng.in(-3, 3); k != 0; k += k > 0 ? -1 : 1)
            a = std::nextafter(a, k > 0 ? 10.0 : -10.0);
        return a;
    }
    case 3: return (rng.unit() * 2 - 1) * 1e-6;
    default: return (rng.unit() * 2 - 1) * M_PI;
    }
}

int32_t pickSide(Rng &rng) {
    const uint32_t r = rng.next() % 10;
    if (r < 6) return rng.in(1, 24);
    if (r < 9) return rng.in(1, 120);
    return rng.in(1, 300);
}

std::vector<resample::Code> codes() {
    std::vector<resample::Code> v;
    for (resample::Code c : {resample::Code::Portable, resample::Code::Sse2, resample::Code::Avx2})
        if (resample::available(c)) v.push_back(c);
    return v;
}
const char *name(resample::Code c) {
    return c == resample::Code::Portable ? "portable" : c == resample::Code::Sse2 ? "sse2" : "avx2";
}

// Runs one case through AGG and every form; reports the first difference.
::testing::AssertionResult sameAsAgg(const std::vector<uint8_t> &canvas, int32_t w, int32_t h,
                                     double angle, const std::string &what) {
    std::vector<uint8_t> want(canvas.size(), 0xAB), got(canvas.size());
    vtest::resampleCanvasAgg(canvas.data(), want.data(), w, h, angle);
    auto check = [&](const char *form) -> ::testing::AssertionResult {
        if (got == want) return ::testing::AssertionSuccess();
        const int32_t W = 2 * w + 2, H = 2 * h + 2;
        size_t i = 0;
        while (got[i] == want[i]) ++i;
        const size_t p = i / 4;
        char msg[400];
        std::snprintf(msg, sizeof msg,
                      "%s: %s, w %d h %d angle %.17g: pixel (%d, %d from the top) "
                      "is %02x %02x %02x %02x, AGG wrote %02x %02x %02x %02x",
                      form, what.c_str(), int(w), int(h), angle, int(p % W), int(H - 1 - p / W),
                      got[p * 4], got[p * 4 + 1], got[p * 4 + 2], got[p * 4 + 3], want[p * 4],
                      want[p * 4 + 1], want[p * 4 + 2], want[p * 4 + 3]);
        return ::testing::AssertionFailure() << msg;
    };
    for (resample::Code c : codes()) {
        std::fill(got.begin(), got.end(), 0xCD);
        resample::resampleWith(c, canvas.data(), got.data(), w, h, angle);
        if (auto r = check(name(c)); !r) return r;
    }
    std::fill(got.begin(), got.end(), 0xEF);
    resampleCanvas(canvas.data(), got.data(), w, h, angle);
    return check("resampleCanvas");
}

}  // namespace

TEST(ResamplerExact, FilterTableIsAggsInUnitsOf64) {
    agg::image_filter_lut lut(agg::image_filter_bilinear(), true);
    ASSERT_EQ(lut.diameter(), 2u);
    for (int32_t i = 0; i < 512; ++i)
        ASSERT_EQ(lut.weight_array()[i], 64 * resample::tableUnit(i)) << i;
}

TEST(ResamplerExact, BlockTotalsFollowThePhaseClasses) {
    // AGG's total weight of a block, for every pair of phases, against 65536
    // plus the excess the SIMD forms look up by class.
    agg::image_filter_lut lut(agg::image_filter_bilinear(), true);
    const int16_t *wt = lut.weight_array();
    for (int32_t ty = 0; ty < 128; ++ty)
        for (int32_t tx = 0; tx < 128; ++tx) {
            int32_t total = 0;
            for (int32_t j = 0; j < 4; ++j)
                for (int32_t k = 0; k < 4; ++k)
                    total += (wt[ty + 128 * j] * wt[tx + 128 * k] + agg::image_filter_scale / 2) >>
                             agg::image_filter_shift;
            const int32_t e =
                resample::kExcess.byClass[resample::phaseClass(tx)][resample::phaseClass(ty)];
            ASSERT_EQ(total, 65536 + e) << tx << ", " << ty;
            ASSERT_EQ(resample::kExcess.lanes[e][3], e);
        }
}

TEST(ResamplerExact, RandomCasesMatchAggByteForByte) {
    const uint64_t seed = 20261209;
    Rng rng(seed);
    const int cases = 4000;
    for (int n = 0; n < cases; ++n) {
        const int32_t w = pickSide(rng), h = pickSide(rng);
        const double angle = pickAngle(rng);
        const Content kind = Content(rng.next() % uint32_t(Content::Count));
        const std::vector<uint8_t> canvas = makeCanvas(rng, kind, w, h);
        const std::string what =
            "case " + std::to_string(n) + " of seed " + std::to_string(seed) + ", " + name(kind);
        ASSERT_TRUE(sameAsAgg(canvas, w, h, angle, what));
    }
}

TEST(ResamplerExact, LongSpansMatchAgg) {
    // Spans far longer than the random cases', along each axis, up to the
    // widest target a call draws.
    Rng rng(77);
    const int32_t sizes[][2] = {{4000, 1}, {1, 4000}, {2500, 3}, {3, 2500}, {32767, 1}, {2, 60000}};
    for (const auto &s : sizes)
        for (double angle : {0.0, M_PI / 2, -M_PI, 0.7, 1e-7, -2.5}) {
            const Content kind = Content(rng.next() % uint32_t(Content::Count));
            const std::vector<uint8_t> canvas = makeCanvas(rng, kind, s[0], s[1]);
            ASSERT_TRUE(sameAsAgg(canvas, s[0], s[1], angle, name(kind)));
        }
}

// The call's form writes the block alone: the same block, and not a byte
// outside it, whatever the output held before.
TEST(ResamplerExact, BlockFormWritesTheBlockOnly) {
    Rng rng(4242);
    for (int n = 0; n < 200; ++n) {
        const int32_t w = pickSide(rng), h = pickSide(rng);
        const double angle = pickAngle(rng);
        const Content kind = Content(rng.next() % uint32_t(Content::Count));
        const std::vector<uint8_t> canvas = makeCanvas(rng, kind, w, h);
        const int32_t W = 2 * w + 2, H = 2 * h + 2;
        std::vector<uint8_t> whole(size_t(W) * H * 4, 0xA5), block(whole.size(), 0xA5);
        resampleCanvas(canvas.data(), whole.data(), w, h, angle);
        resampleBlock(canvas.data(), block.data(), w, h, angle);
        for (int32_t y = 0; y < H; ++y)
            for (int32_t x = 0; x < W; ++x) {
                const bool inBlock = x < w && y >= H - h;  // bottom-up: the top h rows
                for (int c = 0; c < 4; ++c) {
                    const size_t i = (size_t(y) * W + x) * 4 + c;
                    ASSERT_EQ(block[i], inBlock ? whole[i] : 0xA5)
                        << "case " << n << ", pixel " << x << ", " << y;
                }
            }
    }
}
