// The `vellora` command, run as a user runs it: options, outputs, batches,
// failures and the files it writes.
#include <gtest/gtest.h>
#include <zlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <set>

#include "cli_support.h"
#include "support/emf_writer.h"
#include "vellora.h"

using namespace clitest;
using vtest::EmfWriter;
using vtest::rgb;

namespace {

constexpr uint32_t kRed = 0x0000FF, kBlue = 0xFF0000;  // COLORREFs

// 2 x 1 inches (192 x 96 pixels at 96 dpi) on a reference device of 10
// pixels per millimetre; the left half red, the right half blue.
std::vector<uint8_t> halvesEmf() {
    EmfWriter w(0, 0, 5080, 2540);
    w.createBrush(1, 0, kRed).select(1).select(vtest::kStockNullPen).rectangle(0, 0, 255, 256);
    w.createBrush(2, 0, kBlue).select(2).rectangle(254, 0, 509, 256);
    return w.bytes();
}

// 1 x 1 inch, left half red and right half blue: for turns, which keep the size.
std::vector<uint8_t> squareEmf() {
    EmfWriter w(0, 0, 2540, 2540);
    w.createBrush(1, 0, kRed).select(1).select(vtest::kStockNullPen).rectangle(0, 0, 128, 256);
    w.createBrush(2, 0, kBlue).select(2).rectangle(127, 0, 255, 256);
    return w.bytes();
}

// 1 x 1 inch: a disc of one colour in the middle, transparent corners.
std::vector<uint8_t> discEmf(uint32_t colour) {
    EmfWriter w(0, 0, 2540, 2540);
    w.createBrush(1, 0, colour).select(1).select(vtest::kStockNullPen).ellipse(40, 40, 214, 214);
    return w.bytes();
}

std::vector<uint8_t> text(const std::string &s) { return {s.begin(), s.end()}; }

// `data` as a gzip file, as office suites write .emz and .wmz.
std::vector<uint8_t> gzipped(const std::vector<uint8_t> &data) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, 16 + MAX_WBITS, 9, Z_DEFAULT_STRATEGY), Z_OK);
    std::vector<uint8_t> out(deflateBound(&z, uLong(data.size())) + 32);
    z.next_in = const_cast<Bytef *>(data.data());
    z.avail_in = uInt(data.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// The long options (--name) a help text mentions.
std::set<std::string> longOptions(const std::string &help) {
    std::set<std::string> found;
    for (size_t at = help.find("--"); at != std::string::npos; at = help.find("--", at + 2)) {
        size_t end = at + 2;
        while (end < help.size() && (std::islower(static_cast<unsigned char>(help[end])) || help[end] == '-'))
            ++end;
        while (end > at + 2 && help[end - 1] == '-') --end;
        if (end > at + 3) found.insert(help.substr(at, end - at));
    }
    return found;
}

// The pHYs chunk of PNG bytes: pixels per metre across and down, and the unit
// (1: metre). False when the file has none.
bool physOf(const std::string &png, uint32_t *x, uint32_t *y, int *unit) {
    const auto be32 = [&](size_t at) {
        return uint32_t(uint8_t(png[at])) << 24 | uint32_t(uint8_t(png[at + 1])) << 16 |
               uint32_t(uint8_t(png[at + 2])) << 8 | uint32_t(uint8_t(png[at + 3]));
    };
    for (size_t at = 8; at + 8 <= png.size();) {
        const uint32_t length = be32(at);
        if (png.compare(at + 4, 4, "pHYs") == 0 && length == 9 && at + 17 <= png.size()) {
            *x = be32(at + 8);
            *y = be32(at + 12);
            *unit = uint8_t(png[at + 16]);
            return true;
        }
        at += 12 + size_t(length);  // length, type, data, CRC
    }
    return false;
}

// Whether every line of a message text starts with the command's name.
::testing::AssertionResult eachLineNamesTheCommand(const std::string &err) {
    size_t at = 0;
    while (at < err.size()) {
        const size_t end = err.find('\n', at);
        const std::string line = err.substr(at, end == std::string::npos ? end : end - at);
        if (line.compare(0, 9, "vellora: ") != 0)
            return ::testing::AssertionFailure() << "line without vellora: \"" << line << "\"";
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return ::testing::AssertionSuccess();
}

// Whether `s` from `*at` on is one JSON value (then `*at` is past it).
bool jsonValue(const std::string &s, size_t *at) {
    const auto ws = [&] { while (*at < s.size() && std::isspace(static_cast<unsigned char>(s[*at]))) ++*at; };
    const auto eat = [&](char c) { ws(); return *at < s.size() && s[*at] == c ? (++*at, true) : false; };
    ws();
    if (*at >= s.size()) return false;
    const char c = s[*at];
    if (c == '"') {
        for (++*at; *at < s.size() && s[*at] != '"'; ++*at) {
            if (static_cast<unsigned char>(s[*at]) < 0x20) return false;
            if (s[*at] == '\\' && (++*at >= s.size() || !std::strchr("\"\\/bfnrtu", s[*at]))) return false;
        }
        return *at < s.size() && (++*at, true);
    }
    if (c == '{' || c == '[') {
        ++*at;
        if (eat(c == '{' ? '}' : ']')) return true;
        do {
            if (c == '{' && !(jsonValue(s, at) && eat(':'))) return false;
            if (!jsonValue(s, at)) return false;
        } while (eat(','));
        return eat(c == '{' ? '}' : ']');
    }
    for (const char *word : {"true", "false", "null"})
        if (s.compare(*at, std::strlen(word), word) == 0) return *at += std::strlen(word), true;
    char *end = nullptr;
    std::strtod(s.c_str() + *at, &end);
    if (end == s.c_str() + *at) return false;
    *at = size_t(end - s.c_str());
    return true;
}

bool isJson(const std::string &s) {
    size_t at = 0;
    if (!jsonValue(s, &at)) return false;
    while (at < s.size() && std::isspace(static_cast<unsigned char>(s[at]))) ++at;
    return at == s.size();
}

bool near(int a, int b, int tolerance) { return std::abs(a - b) <= tolerance; }

::testing::AssertionResult pixelIs(const Image &img, int x, int y, int r, int g, int b, int a,
                                   int tolerance = 2) {
    const uint8_t *p = img.at(x, y);
    if (near(p[0], r, tolerance) && near(p[1], g, tolerance) && near(p[2], b, tolerance) &&
        near(p[3], a, tolerance))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "pixel (" << x << ", " << y << ") is " << int(p[0]) << "," << int(p[1]) << ","
           << int(p[2]) << "," << int(p[3]) << ", expected " << r << "," << g << "," << b << ","
           << a;
}

std::string sourcePath(const std::string &rel) { return std::string(VELLORA_SOURCE_DIR) + "/" + rel; }

// Whether the native player draws filled rectangles yet: tests that look at
// drawn pixels need it, the others do not.
bool playerDrawsRectangles() {
    static const bool draws = [] {
        const std::vector<uint8_t> emf = halvesEmf();
        HENHMETAFILE mf = VelloraSetEnhMetaFileBits(unsigned(emf.size()), emf.data());
        std::vector<uint32_t> px(64 * 32, 0);
        HDC dc = VelloraCreateBitmapDC(px.data(), 64, 32, 64 * 4);
        const RECT r{0, 0, 63, 31};
        const bool ok = mf && dc && Vellora(dc, mf, &r, 255, 0, 0, 0, 1, 1);
        VelloraDeleteDC(dc);
        VelloraDeleteEnhMetaFile(mf);
        return ok && px[16 * 64 + 16] == 0xFFFF0000u;
    }();
    return draws;
}

#define REQUIRE_DRAWING()                                                                   \
    do {                                                                                    \
        if (!playerDrawsRectangles())                                                       \
            GTEST_SKIP() << "the native player does not draw filled rectangles yet";        \
    } while (0)

class Cli : public ::testing::Test {
protected:
    TempDir dir;

    std::string put(const std::string &name, const std::vector<uint8_t> &bytes) {
        const std::string path = dir / name;
        writeFile(path, bytes);
        return path;
    }

    Image render(const std::vector<std::string> &args) {
        Image img;
        std::vector<std::string> full = args;
        full.insert(full.begin(), "render");
        full.push_back("-o");
        full.push_back(dir / "result.png");
        full.push_back("--force");
        const Outcome r = vellora(full);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(readPng(dir / "result.png", &img));
        return img;
    }
};

// ---- help and usage --------------------------------------------------------

TEST_F(Cli, HelpNamesBothCommands) {
    const Outcome r = vellora({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("render"), std::string::npos);
    EXPECT_NE(r.out.find("info"), std::string::npos);
}

TEST_F(Cli, ManPageFollowsHelpAndVersion) {
    const std::string man = readFile(sourcePath("docs/vellora.1"));
    ASSERT_FALSE(man.empty());
    // The header names the version --version prints.
    const Outcome version = vellora({"--version"});
    EXPECT_EQ(version.status, 0);
    ASSERT_FALSE(version.out.empty());
    const std::string header = man.substr(0, man.find('\n'));
    EXPECT_NE(header.find("\"" + version.out.substr(0, version.out.find('\n')) + "\""),
              std::string::npos)
        << header << " against " << version.out;
    // The command's own options, then each subcommand's.
    for (const char *command : {"", "render", "info"}) {
        const Outcome r = *command ? vellora({command, "--help"}) : vellora({"--help"});
        EXPECT_EQ(r.status, 0);
        const std::set<std::string> options = longOptions(r.out);
        EXPECT_GE(options.size(), command == std::string("render") ? 14u : 2u) << r.out;
        for (const std::string &opt : options) {
            // roff writes each hyphen as \-
            std::string roff;
            for (char c : opt) roff += c == '-' ? std::string("\\-") : std::string(1, c);
            EXPECT_NE(man.find(roff), std::string::npos) << opt << " of " << command;
        }
    }
}

TEST_F(Cli, RenderHelpDescribesEachOption) {
    const Outcome r = vellora({"render", "--help"});
    for (const char *opt : {"--output", "--out-dir", "--width", "--height", "--max-size", "--keep-aspect",
                            "--dpi", "--rotate", "--crop", "--key", "--background", "--jobs",
                            "--force", "--png-compression", "--quiet"})
        EXPECT_NE(r.out.find(opt), std::string::npos) << opt;
}

TEST_F(Cli, UsageErrorsExitWithTwoAndWriteNothing) {
    const std::string in = put("a.emf", halvesEmf());
    const std::string in2 = put("b.emf", halvesEmf());
    const std::vector<std::vector<std::string>> bad = {
        {"render"},
        {"render", in, "--no-such-option"},
        {"render", in, "--crop", "0,0,1"},
        {"render", in, "--crop", "0.5,0,0.5,1"},
        {"render", in, "--crop", "a,b,c,d"},
        {"render", in, "--background", "notacolour"},
        {"render", in, "--key", "256"},
        {"render", in, "--rotate", "nan"},
        {"render", in, "--rotate", "1e300"},
        {"render", in, "--width", "0"},
        {"render", in, "--width", "65536"},
        {"render", in, in2, "-o", dir / "x.png"},
        {"render", "-", in},
        {"render", "-", "--out-dir", dir / "d"},
        {"render", in, "-o", dir / "x.png", "--out-dir", dir / "d"},
        {"frobnicate"},
    };
    for (const auto &args : bad) {
        const Outcome r = vellora(args);
        EXPECT_EQ(r.status, 2) << args.back() << ": " << r.err;
        EXPECT_FALSE(r.err.empty());
        EXPECT_TRUE(eachLineNamesTheCommand(r.err)) << args.back();
    }
    EXPECT_EQ(listDir(dir.path()), (std::vector<std::string>{"a.emf", "b.emf"}));
}

// ---- sizes -----------------------------------------------------------------

TEST_F(Cli, SizeFollowsFrameDpiAndOptions) {
    const std::string in = put("halves.emf", halvesEmf());
    // 2 x 1 inches too, drawing a rectangle over its whole frame.
    const std::string wmf = put("halves.wmf", placeable(wmfBytes({{0x041B, {100, 200, 0, 0}}}), 2000, 1000, 1000));
    struct Case {
        std::vector<std::string> args;
        int w, h;
        std::string file = "";  // halves.emf when empty
    };
    const Case cases[] = {
        {{}, 192, 96},                                  // 2 x 1 inches at 96 dpi
        {{"--dpi", "48"}, 96, 48},
        {{"--dpi", "300"}, 600, 300},
        {{"--width", "100"}, 100, 50},                  // the height follows the aspect
        {{"--height", "30"}, 60, 30},                   // the width follows the aspect
        {{"--width", "100", "--height", "100"}, 100, 100},  // stretched
        // fitted as the library fits (0,0,99,99) to the ratio 2: (0,0,99,49)
        {{"--width", "100", "--height", "100", "--keep-aspect"}, 100, 50},
        {{"--width", "300", "--height", "100", "--keep-aspect"}, 199, 100},
        {{"--crop", "0,0,0.5,1"}, 96, 96},              // the window's natural size
        {{"--crop", "0,0,0.5,1", "--width", "50"}, 50, 50},
        {{"--crop", "1,1,0.5,0"}, 96, 96},              // pairs are put in order
        {{"--rotate", "90"}, 192, 96},                  // a turn keeps the size
        {{"--rotate", "90", "--rotate-fit"}, 96, 192, wmf},  // a placeable WMF turned to fit
    };
    for (const Case &c : cases) {
        std::vector<std::string> args{c.file.empty() ? in : c.file};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Image img = render(args);
        EXPECT_EQ(img.width, c.w) << ::testing::PrintToString(c.args);
        EXPECT_EQ(img.height, c.h) << ::testing::PrintToString(c.args);
    }
}

TEST_F(Cli, PngRecordsTheDpiAsItsResolution) {
    const std::string in = put("halves.emf", halvesEmf());
    const struct {
        std::vector<std::string> args;
        double dpi;
    } cases[] = {
        {{}, 96},
        {{"--dpi", "300"}, 300},
        {{"--dpi", "72.5"}, 72.5},
        {{"--dpi", "150", "--width", "40"}, 150},  // recorded when the size is given too
        {{"--dpi", "150", "--background", "white"}, 150},  // RGB
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        std::vector<std::string> args{"render", in, "-o", "-"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Outcome r = vellora(args);
        ASSERT_EQ(r.status, 0) << r.err;
        uint32_t x = 0, y = 0;
        int unit = 0;
        ASSERT_TRUE(physOf(r.out, &x, &y, &unit));
        const auto perMetre = uint32_t(std::lround(c.dpi / 0.0254));
        EXPECT_EQ(x, perMetre);
        EXPECT_EQ(y, perMetre);
        EXPECT_EQ(unit, 1);
    }
}

TEST_F(Cli, PlaceableSizeComesFromBoundingBoxAndUnitsPerInch) {
    const std::vector<uint8_t> wmf = wmfBytes({{0x020C, {1000, 2000}}});  // SetWindowExt
    const std::string in = put("box.wmf", placeable(wmf, 2000, 1000, 1000));
    const Image img = render({in});
    EXPECT_EQ(img.width, 192);
    EXPECT_EQ(img.height, 96);
}

TEST_F(Cli, EmptyFrameNeedsBothSizes) {
    const std::string in = put("flat.emf", EmfWriter(0, 0, 0, 0).bytes());
    Outcome r = vellora({"render", in});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no natural size; give --width and --height"), std::string::npos) << r.err;
    r = vellora({"render", in, "--width", "50", "--force"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no aspect ratio; give both --width and --height"), std::string::npos) << r.err;
    const Image img = render({in, "--width", "50", "--height", "20"});
    EXPECT_EQ(img.width, 50);
    EXPECT_EQ(img.height, 20);
}

TEST_F(Cli, SizesBeyondTheLimitsAreUsageErrorsNamingThem) {
    const std::string in = put("halves.emf", halvesEmf());
    const struct {
        std::vector<std::string> args;
        const char *says;
    } cases[] = {
        {{"--width", "32768"}, "at most 32767 wide"},
        {{"--height", "1000001"}, "at most 1000000 high"},
        {{"--width", "6000", "--height", "6000"}, "is at most 33554432 pixels"},
        {{"--max-size", "40000x10"}, "at most 32767 wide and 1000000 high"},
        {{"--max-size", "6000x6000"}, "is at most 33554432 pixels"},
        {{"--max-size", "wide"}, "WIDTHxHEIGHT"},
    };
    for (const auto &c : cases) {
        std::vector<std::string> args = {"render", in, "-o", dir / "big.png"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Outcome r = vellora(args);
        EXPECT_EQ(r.status, 2) << c.says;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    EXPECT_FALSE(exists(dir / "big.png"));
}

TEST_F(Cli, SizesThatFollowThePictureAreScaledIntoTheLimits) {
    // 1 mm wide, 300 m tall: 4 x 1133858 pixels at 96 dpi, over the height
    // PNG readers take; with --width 100 the height would be 30 million.
    const std::string in = put("tall.emf", EmfWriter(0, 0, 100, 30000000).bytes());
    Outcome r = vellora({"render", in, "-o", dir / "natural.png"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("drawn at 3 x 1000000 pixels: 4 x 1133858 at 96 dpi is more than"),
              std::string::npos)
        << r.err;
    // As tall as libpng reads by default: the size from the IHDR chunk.
    const std::string png = readFile(dir / "natural.png");
    ASSERT_GE(png.size(), 24u);
    auto be32 = [&](size_t i) {
        return int(uint8_t(png[i])) << 24 | uint8_t(png[i + 1]) << 16 | uint8_t(png[i + 2]) << 8 |
               uint8_t(png[i + 3]);
    };
    EXPECT_EQ(be32(16), 3);
    EXPECT_EQ(be32(20), 1000000);
    r = vellora({"render", in, "-o", dir / "wide.png", "--width", "100"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("drawn at 3 x 1000000 pixels: 100 x 30000000 is more than"),
              std::string::npos)
        << r.err;
    // A box of the user's own is obeyed without a word.
    r = vellora({"render", put("halves2.emf", halvesEmf()), "-o", dir / "box.png", "--max-size",
                 "50x50", "--dpi", "5000"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    Image img;
    ASSERT_TRUE(readPng(dir / "box.png", &img));
    EXPECT_EQ(img.width, 50);
    EXPECT_EQ(img.height, 25);
}

TEST_F(Cli, NothingDrawnIsSaidWithTheReason) {
    // EMR_COMMENT with an EMF+ header and an EmfPlusFillRects record: all the
    // drawing is EMF+, which is not played.
    EmfWriter plus(0, 0, 2540, 2540);
    std::vector<uint8_t> p = {64, 0, 0, 0, 'E', 'M', 'F', '+', 0x01, 0x40, 0, 0, 28, 0, 0, 0,
                              16, 0, 0, 0};
    p.resize(36, 0);
    const uint8_t fill[] = {0x0A, 0x40, 0, 0, 32, 0, 0, 0, 20, 0, 0, 0};
    p.insert(p.end(), std::begin(fill), std::end(fill));
    p.resize(68, 0);
    plus.recordBytes(70, p);
    const std::string plusFile = put("plus.emf", plus.bytes());
    Outcome r = vellora({"render", plusFile, "-o", dir / "plus.png"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("nothing drawn: all 1 drawing records are EMF+; only the GDI part is played"),
              std::string::npos)
        << r.err;
    r = vellora({"info", plusFile});
    EXPECT_NE(r.out.find("EMF+:          2 records, 1 of them drawing; EMF+ only"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("GDI part:      0 drawing records: it draws nothing"), std::string::npos)
        << r.out;
    r = vellora({"render", put("empty.emf", EmfWriter(0, 0, 2540, 2540).bytes()), "-o",
                 dir / "empty.png"});
    EXPECT_NE(r.err.find("nothing drawn: it has no drawing records"), std::string::npos) << r.err;
    r = vellora({"render", put("halves.emf", halvesEmf()), "-o", dir / "halves.png"});
    EXPECT_EQ(r.err.find("nothing drawn"), std::string::npos) << r.err;
}

// ---- what each option does to the pixels -----------------------------------

TEST_F(Cli, PlainRenderShowsBothHalves) {
    REQUIRE_DRAWING();
    const Image img = render({put("halves.emf", halvesEmf())});
    ASSERT_EQ(img.width, 192);
    EXPECT_TRUE(img.hasAlpha);
    EXPECT_TRUE(pixelIs(img, 48, 48, 255, 0, 0, 255));
    EXPECT_TRUE(pixelIs(img, 144, 48, 0, 0, 255, 255));
}

TEST_F(Cli, CropStretchesTheWindowOverTheOutput) {
    REQUIRE_DRAWING();
    const std::string in = put("halves.emf", halvesEmf());
    const Image right = render({in, "--crop", "0.5,0,1,1", "--width", "192", "--height", "96"});
    EXPECT_TRUE(pixelIs(right, 20, 48, 0, 0, 255, 255));
    EXPECT_TRUE(pixelIs(right, 170, 48, 0, 0, 255, 255));
    const Image left = render({in, "--crop", "0,0,0.5,1", "--width", "192", "--height", "96"});
    EXPECT_TRUE(pixelIs(left, 20, 48, 255, 0, 0, 255));
    EXPECT_TRUE(pixelIs(left, 170, 48, 255, 0, 0, 255));
}

TEST_F(Cli, RotateTurnsCounterclockwise) {
    REQUIRE_DRAWING();
    const std::string in = put("square.emf", squareEmf());
    const Image quarter = render({in, "--rotate", "90"});
    ASSERT_EQ(quarter.width, 96);
    // The right (blue) half comes to the top.
    EXPECT_TRUE(pixelIs(quarter, 48, 20, 0, 0, 255, 255));
    EXPECT_TRUE(pixelIs(quarter, 48, 76, 255, 0, 0, 255));
    const Image back = render({in, "--rotate", "-90"});
    EXPECT_TRUE(pixelIs(back, 48, 20, 255, 0, 0, 255));
    EXPECT_TRUE(pixelIs(back, 48, 76, 0, 0, 255, 255));
    const Image half = render({in, "--rotate", "180"});
    EXPECT_TRUE(pixelIs(half, 20, 48, 0, 0, 255, 255));
    EXPECT_TRUE(pixelIs(half, 76, 48, 255, 0, 0, 255));
}

TEST_F(Cli, RotateFitGrowsTheOutputToTheWholeTurnedPicture) {
    REQUIRE_DRAWING();
    const std::string in = put("halves.emf", halvesEmf());
    const Image plain = render({in, "--width", "200"});
    const Image turned = render({in, "--width", "200", "--rotate", "90", "--rotate-fit"});
    ASSERT_EQ(turned.width, plain.height);
    ASSERT_EQ(turned.height, plain.width);
    // A quarter turn counterclockwise: the right (blue) half on top, every corner drawn.
    const int r = turned.width - 2, b = turned.height - 2;
    EXPECT_TRUE(pixelIs(turned, 1, 1, 0, 0, 255, 255));
    EXPECT_TRUE(pixelIs(turned, r, 1, 0, 0, 255, 255));
    EXPECT_TRUE(pixelIs(turned, 1, b, 255, 0, 0, 255));
    EXPECT_TRUE(pixelIs(turned, r, b, 255, 0, 0, 255));
    // Any other angle: the bounding box of the turned picture, transparent
    // where it is not, and the picture's middle where it was.
    const Image slanted = render({in, "--width", "200", "--rotate", "30", "--rotate-fit"});
    const double c = std::cos(3.14159265358979323846 / 6), s = 0.5;
    EXPECT_EQ(slanted.width, int(std::ceil(200 * c + 100 * s - 1e-6)));
    EXPECT_EQ(slanted.height, int(std::ceil(200 * s + 100 * c - 1e-6)));
    EXPECT_TRUE(pixelIs(slanted, 1, 1, 0, 0, 0, 0, 0));
    EXPECT_EQ(slanted.at(slanted.width / 2, slanted.height / 2)[3], 255);
}

TEST_F(Cli, KeyIsTheAlphaOfPaintedPixels) {
    REQUIRE_DRAWING();
    const std::string in = put("disc.emf", discEmf(rgb(200, 100, 50)));
    const Image full = render({in});
    EXPECT_TRUE(pixelIs(full, 48, 48, 200, 100, 50, 255, 0));
    const Image half = render({in, "--key", "128"});
    // AGG 2.4's filter sums start at half their scale: flat areas may read one more.
    EXPECT_NEAR(half.at(48, 48)[3], 128, 1);
    EXPECT_TRUE(pixelIs(half, 1, 1, 0, 0, 0, 0, 0));  // a corner the disc leaves alone
    const Image none = render({in, "--key", "0"});
    EXPECT_EQ(none.at(48, 48)[3], 0);
}

// The library's pixels, drawn directly into memory filled with `fill`
// (0xAARRGGBB premultiplied).
std::vector<uint32_t> libraryPixels(const std::vector<uint8_t> &emf, int size, int key,
                                    double degrees, uint32_t fill) {
    std::vector<uint32_t> px(size_t(size) * size, fill);
    HENHMETAFILE mf = VelloraSetEnhMetaFileBits(unsigned(emf.size()), emf.data());
    HDC dc = VelloraCreateBitmapDC(px.data(), size, size, size * 4);
    const RECT r{0, 0, size - 1, size - 1};
    EXPECT_TRUE(Vellora(dc, mf, &r, key, degrees * 3.14159265358979323846 / 180, 0, 0, 1, 1));
    VelloraDeleteDC(dc);
    VelloraDeleteEnhMetaFile(mf);
    return px;
}

// Every pixel of the PNG is the library's premultiplied pixel with its colour
// divided by its alpha, rounded to nearest.
TEST_F(Cli, PngAlphaIsUnpremultipliedToNearest) {
    REQUIRE_DRAWING();
    const std::vector<uint8_t> emf = discEmf(rgb(200, 100, 50));
    const std::string in = put("disc.emf", emf);
    for (int key : {255, 128}) {
        const Image img = render({in, "--key", std::to_string(key), "--rotate", "17"});
        ASSERT_EQ(img.width, 96);
        const std::vector<uint32_t> px = libraryPixels(emf, 96, key, 17, 0);
        int partial = 0, mismatches = 0;
        for (int y = 0; y < 96; ++y)
            for (int x = 0; x < 96; ++x) {
                const uint32_t p = px[size_t(y) * 96 + x];
                const unsigned a = p >> 24;
                const unsigned rgbPre[3] = {p >> 16 & 0xFF, p >> 8 & 0xFF, p & 0xFF};
                uint8_t want[4] = {0, 0, 0, uint8_t(a)};
                for (int i = 0; i < 3; ++i)
                    if (a) want[i] = uint8_t(std::min(255u, (rgbPre[i] * 510 + a) / (2 * a)));
                if (a > 0 && a < 255) ++partial;
                if (std::memcmp(img.at(x, y), want, 4) != 0) ++mismatches;
            }
        EXPECT_GT(partial, 50) << "half-covered pixels on the disc's smoothed edge";
        EXPECT_EQ(mismatches, 0) << "key " << key;
    }
}

// --background COLOR gives what the library draws onto a device of that colour.
TEST_F(Cli, OpaqueBackgroundIsTheLibraryBlendOntoThatColour) {
    const std::vector<uint8_t> emf = discEmf(rgb(200, 100, 50));
    const std::string in = put("disc.emf", emf);
    for (int key : {255, 128}) {
        const Image img = render({in, "--background", "#4080c0", "--key", std::to_string(key),
                                  "--rotate", "25"});
        EXPECT_FALSE(img.hasAlpha);
        ASSERT_EQ(img.width, 96);
        EXPECT_TRUE(pixelIs(img, 1, 1, 0x40, 0x80, 0xC0, 255, 0));
        const std::vector<uint32_t> px = libraryPixels(emf, 96, key, 25, 0xFF4080C0u);
        int mismatches = 0;
        for (int y = 0; y < 96; ++y)
            for (int x = 0; x < 96; ++x) {
                const uint32_t p = px[size_t(y) * 96 + x];
                const uint8_t want[4] = {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p), 255};
                if (std::memcmp(img.at(x, y), want, 4) != 0) ++mismatches;
            }
        EXPECT_EQ(mismatches, 0) << "key " << key;
    }
    const Image white = render({in, "--background", "white"});
    EXPECT_TRUE(pixelIs(white, 1, 1, 255, 255, 255, 255, 0));
}

TEST_F(Cli, TranslucentBackgroundKeepsAlpha) {
    const std::string in = put("disc.emf", discEmf(rgb(200, 100, 50)));
    for (const char *colour : {"rgba(0, 0, 255, 0.5)", "#0000ff80", "rgba(0%,0%,100%,50%)"}) {
        const Image img = render({in, "--background", colour});
        EXPECT_TRUE(img.hasAlpha) << colour;
        EXPECT_TRUE(pixelIs(img, 1, 1, 0, 0, 255, 128, 0)) << colour;
    }
    const Image img = render({in, "--background", "#336699cc"});
    EXPECT_TRUE(pixelIs(img, 1, 1, 0x33, 0x66, 0x99, 0xCC, 0));
    if (!playerDrawsRectangles()) return;
    EXPECT_TRUE(pixelIs(img, 48, 48, 200, 100, 50, 255, 0));
}

TEST_F(Cli, CssColourNamesAreTheirHexColours) {
    const std::string in = put("disc.emf", discEmf(rgb(200, 100, 50)));
    const auto png = [&](const std::string &colour) {
        const Outcome r = vellora({"render", in, "-o", "-", "--width", "16", "--background", colour});
        EXPECT_EQ(r.status, 0) << colour << ": " << r.err;
        return r.out;
    };
    const std::pair<const char *, const char *> names[] = {
        {"aliceblue", "#f0f8ff"},     {"RebeccaPurple", "#663399"}, {"darkslategrey", "#2f4f4f"},
        {"lightgoldenrodyellow", "#fafad2"}, {"yellowgreen", "#9acd32"}, {"transparent", "#0000"}};
    for (const auto &[name, hex] : names) EXPECT_EQ(png(name), png(hex)) << name;
}

TEST_F(Cli, TransparentPngOverWhiteMatchesWhiteBackground) {
    REQUIRE_DRAWING();
    const std::string in = put("disc.emf", discEmf(rgb(30, 140, 220)));
    const Image clear = render({in, "--rotate", "33", "--key", "200"});
    const Image white = render({in, "--rotate", "33", "--key", "200", "--background", "white"});
    ASSERT_EQ(clear.width, white.width);
    int worst = 0;
    for (int y = 0; y < clear.height; ++y)
        for (int x = 0; x < clear.width; ++x) {
            const uint8_t *c = clear.at(x, y), *w = white.at(x, y);
            for (int i = 0; i < 3; ++i) {
                const int over = (c[i] * c[3] + 255 * (255 - c[3]) + 127) / 255;
                worst = std::max(worst, std::abs(over - w[i]));
            }
        }
    EXPECT_LE(worst, 1);
}

TEST_F(Cli, WritesPngToStandardOutput) {
    const std::string in = put("halves.emf", halvesEmf());
    const Outcome r = vellora({"render", in, "-o", "-", "--width", "40"});
    EXPECT_EQ(r.status, 0) << r.err;
    Image img;
    ASSERT_TRUE(readPngBytes(r.out, &img));
    EXPECT_EQ(img.width, 40);
    EXPECT_EQ(img.height, 20);
}

TEST_F(Cli, DashReadsTheMetafileFromStandardInput) {
    const std::vector<uint8_t> emf = halvesEmf();
    // Without -o the PNG goes to standard output, as with -o -.
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"render", "-", "--width", "40"},
          std::vector<std::string>{"render", "-", "--width", "40", "-o", "-"}}) {
        const Outcome r = velloraWithInput(args, emf);
        EXPECT_EQ(r.status, 0) << r.err;
        Image img;
        ASSERT_TRUE(readPngBytes(r.out, &img)) << ::testing::PrintToString(args);
        EXPECT_EQ(img.width, 40);
        EXPECT_EQ(img.height, 20);
    }
    Outcome r = velloraWithInput({"render", "-", "-o", dir / "in.png"}, emf);
    EXPECT_EQ(r.status, 0) << r.err;
    Image img;
    EXPECT_TRUE(readPng(dir / "in.png", &img));
    EXPECT_EQ(img.width, 192);
    r = velloraWithInput({"render", "-"}, text("not a picture"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("vellora: standard input: not a metafile"), std::string::npos) << r.err;
}

TEST_F(Cli, CompressedMetafilesAreReadLikeTheirContent) {
    const std::vector<uint8_t> emf = halvesEmf();
    const std::vector<uint8_t> wmf = placeable(wmfBytes({{0x020C, {100, 100}}}), 1440, 720, 1440);
    TempDir in;
    writeFile(in / "e.emz", gzipped(emf));
    writeFile(in / "w.wmz", gzipped(wmf));
    // A directory picks them up, and each PNG is that of the plain file.
    Outcome r = vellora({"render", in.path(), "--out-dir", dir / "z"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(listDir(dir / "z"), (std::vector<std::string>{"e.png", "w.png"}));
    const std::pair<std::string, std::vector<uint8_t>> plain[] = {{"e", emf}, {"w", wmf}};
    for (const auto &[name, bytes] : plain) {
        r = vellora({"render", put(name + ".plain", bytes), "-o", "-"});
        EXPECT_EQ(readFile(dir / ("z/" + name + ".png")), r.out) << name;
    }
    r = vellora({"info", in / "e.emz"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("EMF, " + std::to_string(emf.size()) + " bytes (gzip-compressed: " +
                         std::to_string(gzipped(emf).size()) + " bytes)"),
              std::string::npos)
        << r.out;
}

TEST_F(Cli, CompressedInputsAreInflatedWithinBounds) {
    std::vector<uint8_t> cut = gzipped(halvesEmf());
    cut.resize(cut.size() / 2);
    const struct {
        std::vector<uint8_t> bytes;
        const char *says;
    } cases[] = {
        // 32 MiB of zeros from some 32 KiB: a ratio no metafile has.
        {gzipped(std::vector<uint8_t>(size_t(32) << 20, 0)), "inflates to more than 200 times its size"},
        {cut, "damaged gzip data"},
    };
    for (const auto &c : cases) {
        const Outcome r = vellora({"render", put("bomb.emz", c.bytes), "-o", dir / "x.png"});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(std::string("bomb.emz: ") + c.says), std::string::npos) << r.err;
    }
    EXPECT_FALSE(exists(dir / "x.png"));
}

// ---- batches ---------------------------------------------------------------

TEST_F(Cli, BatchGoesOnPastBrokenFilesAndReportsThem) {
    TempDir in;
    writeFile(in / "a.emf", halvesEmf());
    writeFile(in / "b.emf", squareEmf());
    writeFile(in / "c.wmf", placeable(wmfBytes({{0x020C, {100, 100}}}), 1440, 1440, 1440));
    writeFile(in / "notes.emf", text("these are my notes, not a picture\n"));
    std::vector<uint8_t> cut = halvesEmf();
    cut.resize(108 + 20 + 6);  // the header, one whole record, part of the next
    writeFile(in / "cut.emf", cut);
    writeFile(in / "readme.txt", text("not a metafile name, not an input"));

    const std::string out = dir / "out";
    const Outcome r = vellora({"render", in.path(), "--out-dir", out, "--jobs", "3"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("notes.emf: not a metafile"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("cut.emf: truncated after record 2"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("rendered 3, failed 2, skipped 0"), std::string::npos) << r.err;
    EXPECT_EQ(listDir(out), (std::vector<std::string>{"a.png", "b.png", "c.png"}));
    for (const char *name : {"a.png", "b.png", "c.png"}) {
        Image img;
        EXPECT_TRUE(readPng(out + "/" + name, &img)) << name;
    }
}

// Each PNG of a batch is written while the next file is drawn: a file that
// cannot be written is still reported with its reason, in its turn, and
// leaves nothing behind.
TEST_F(Cli, BatchReportsOutputsItCannotWrite) {
    TempDir in;
    writeFile(in / "a.emf", halvesEmf());
    writeFile(in / "b.emf", squareEmf());
    writeFile(in / "c.emf", discEmf(kRed));
    const std::string out = dir / "out";
    ASSERT_EQ(::mkdir(out.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((out + "/b.png").c_str(), 0755), 0);  // a folder where b's PNG would go
    const Outcome r = vellora({"render", in.path(), "--out-dir", out, "--jobs", "1", "--force"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("b.emf: cannot write " + out + "/b.png: is a directory"), std::string::npos)
        << r.err;
    EXPECT_LT(r.err.find("a.emf ->"), r.err.find("b.emf: cannot write")) << r.err;
    EXPECT_LT(r.err.find("b.emf: cannot write"), r.err.find("c.emf ->")) << r.err;
    EXPECT_NE(r.err.find("rendered 2, failed 1, skipped 0"), std::string::npos) << r.err;
    EXPECT_EQ(listDir(out), (std::vector<std::string>{"a.png", "b.png", "c.png"}));
    EXPECT_TRUE(listDir(out + "/b.png").empty());
    for (const char *name : {"a.png", "c.png"}) {
        Image img;
        EXPECT_TRUE(readPng(out + "/" + name, &img)) << name;
    }
}

TEST_F(Cli, RecursiveWalksSubfoldersAndOutDirMirrorsThem) {
    TempDir in;
    ASSERT_EQ(::mkdir((in / "sub").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((in / "sub/deeper").c_str(), 0755), 0);
    writeFile(in / "a.emf", halvesEmf());
    writeFile(in / "sub/b.emf", squareEmf());
    writeFile(in / "sub/deeper/c.wmf", placeable(wmfBytes({{0x020C, {100, 100}}}), 1440, 1440, 1440));
    const struct {
        const char *flag;
        std::vector<std::string> written;
    } cases[] = {{"-j1", {"a.png"}},
                 {"-r", {"a.png", "sub/b.png", "sub/deeper/c.png"}},
                 {"--recursive", {"a.png", "sub/b.png", "sub/deeper/c.png"}}};
    for (const auto &c : cases) {
        TempDir out;
        const Outcome r = vellora({"render", in.path(), "--out-dir", out.path(), c.flag});
        EXPECT_EQ(r.status, 0) << r.err;
        std::vector<std::string> written;
        for (const std::string &d : {std::string(), std::string("sub/"), std::string("sub/deeper/")})
            for (const std::string &n : listDir(out / d))
                if (n.size() > 4 && n.compare(n.size() - 4, 4, ".png") == 0) written.push_back(d + n);
        EXPECT_EQ(written, c.written) << c.flag;
    }
    // Without --out-dir each output lands beside its input.
    ASSERT_EQ(vellora({"render", in.path(), "-r"}).status, 0);
    EXPECT_TRUE(exists(in / "sub/deeper/c.png"));
}

TEST_F(Cli, BatchWithoutTerminalPrintsALinePerFile) {
    writeFile(dir / "a.emf", halvesEmf());
    writeFile(dir / "b.emf", squareEmf());
    const Outcome r = vellora({"render", dir / "a.emf", dir / "b.emf", "--out-dir", dir / "o"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("a.emf -> " + dir / "o/a.png" + " (192 x 96)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("b.emf -> " + dir / "o/b.png" + " (96 x 96)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("rendered 2, failed 0, skipped 0"), std::string::npos);
    EXPECT_TRUE(eachLineNamesTheCommand(r.err));
    EXPECT_EQ(r.err.find('\r'), std::string::npos);
    EXPECT_TRUE(r.out.empty());
}

TEST_F(Cli, BatchOnTerminalShowsProgressWithCountsAndEstimate) {
    for (const char *name : {"a.emf", "b.emf", "c.emf"}) writeFile(dir / name, halvesEmf());
    writeFile(dir / "bad.emf", text("nope"));
    const Outcome r = velloraOnTerminal(
        {"render", dir / "a.emf", dir / "b.emf", dir / "bad.emf", dir / "c.emf", "--out-dir",
         dir / "o", "--jobs", "1"});
    EXPECT_EQ(r.status, 1);
    // A bar with counts and the time left, drawn over itself.
    bool barWithEstimate = false;
    size_t at = 0;
    while ((at = r.err.find("\r[", at)) != std::string::npos) {
        const std::string line = r.err.substr(at + 1, r.err.find_first_of("\r\n", at + 1) - at - 1);
        const size_t close = line.find("] ");
        if (close != std::string::npos && line.find_first_not_of("#.", 1) == close &&
            line.compare(close + 2, 2, "3/") == 0 && line.find(":00 left") != std::string::npos)
            barWithEstimate = true;
        ++at;
    }
    EXPECT_TRUE(barWithEstimate) << r.err;
    EXPECT_NE(r.err.find("bad.emf: not a metafile"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("rendered 3, failed 1, skipped 0"), std::string::npos) << r.err;
    // No per-file lines for the files that went well.
    EXPECT_EQ(r.err.find("a.emf ->"), std::string::npos) << r.err;
}

TEST_F(Cli, InterruptFinishesTheFileInHandAndStops) {
    TempDir in;
    for (int i = 0; i < 200; ++i) writeFile(in / ("f" + std::to_string(1000 + i) + ".emf"), halvesEmf());
    const std::string out = dir / "out";
    const Outcome r = velloraInterrupted(
        {"render", in.path(), "--out-dir", out, "-j", "1", "--width", "2000"},
        [&] { return exists(out + "/f1000.png"); });
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_NE(r.err.find("interrupted before"), std::string::npos) << r.err;
    const std::vector<std::string> names = listDir(out);
    EXPECT_GE(names.size(), 1u);
    EXPECT_LT(names.size(), 200u);
    for (const std::string &n : names) {
        Image img;
        EXPECT_TRUE(readPng(out + "/" + n, &img)) << n << ": a whole PNG, no temporary file";
    }
}

TEST_F(Cli, ResultsDoNotDependOnTheNumberOfJobs) {
    TempDir in;
    for (int i = 0; i < 6; ++i)
        writeFile(in / ("f" + std::to_string(i) + ".emf"), i % 2 ? halvesEmf() : discEmf(rgb(9, 99, 199)));
    ASSERT_EQ(vellora({"render", in.path(), "--out-dir", dir / "one", "-j", "1", "--rotate", "10"}).status, 0);
    ASSERT_EQ(vellora({"render", in.path(), "--out-dir", dir / "many", "-j", "4", "--rotate", "10"}).status, 0);
    const std::vector<std::string> names = listDir(dir / "one");
    ASSERT_EQ(names.size(), 6u);
    EXPECT_EQ(listDir(dir / "many"), names);
    for (const std::string &n : names)
        EXPECT_EQ(readFile(dir / "one/" + n), readFile(dir / "many/" + n)) << n;
}

TEST_F(Cli, ReasonsNameWhatToFix) {
    const std::string missing = dir / "missing.emf";
    Outcome r = vellora({"render", missing});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("missing.emf: cannot open: no such file or directory"), std::string::npos) << r.err;

    writeFile(dir / "empty.emf", {});
    r = vellora({"render", dir / "empty.emf"});
    EXPECT_NE(r.err.find("empty file"), std::string::npos) << r.err;

    std::vector<uint8_t> bad = halvesEmf();
    bad[108 + 4] = 2;  // the first record after the header claims 2 bytes
    bad[108 + 5] = bad[108 + 6] = bad[108 + 7] = 0;
    writeFile(dir / "bad.emf", bad);
    r = vellora({"render", dir / "bad.emf"});
    EXPECT_NE(r.err.find("record 2 has an impossible size"), std::string::npos) << r.err;

    std::vector<uint8_t> noEof = halvesEmf();
    noEof.resize(noEof.size() - 20);
    writeFile(dir / "noeof.emf", noEof);
    r = vellora({"render", dir / "noeof.emf"});
    EXPECT_NE(r.err.find("no end-of-file record"), std::string::npos) << r.err;
    EXPECT_EQ(listDir(dir.path()), (std::vector<std::string>{"bad.emf", "empty.emf", "noeof.emf"}));
}

TEST_F(Cli, UnreadableInputSaysPermissionDenied) {
    writeFile(dir / "locked.emf", halvesEmf());
    ::chmod((dir / "locked.emf").c_str(), 0);
    ::chmod(dir.path().c_str(), 0755);
    // Root reads any file, so as root the command runs as nobody, who must be
    // able to reach the command first (a build under root's home is closed).
    if (::geteuid() == 0 && vellora({"--version"}, {}, true).status == 127)
        GTEST_SKIP() << "user nobody cannot run " << VELLORA_CLI << " (a folder on its path is closed to others)";
    const Outcome r = vellora({"render", dir / "locked.emf", "-o", "-"}, {}, true);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("locked.emf: cannot open: permission denied"), std::string::npos) << r.err;
}

// ---- files written ---------------------------------------------------------

TEST_F(Cli, ExistingOutputIsSkippedUnlessForced) {
    const std::string in = put("a.emf", halvesEmf());
    writeFile(dir / "a.png", text("previous"));
    Outcome r = vellora({"render", in});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("skipped"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(dir / "a.png"), "previous");

    // Replacement is a rename: another name for the old file keeps its bytes.
    ASSERT_EQ(::link((dir / "a.png").c_str(), (dir / "old.png").c_str()), 0);
    r = vellora({"render", in, "--force"});
    EXPECT_EQ(r.status, 0) << r.err;
    Image img;
    EXPECT_TRUE(readPng(dir / "a.png", &img));
    EXPECT_EQ(readFile(dir / "old.png"), "previous");
    EXPECT_EQ(listDir(dir.path()), (std::vector<std::string>{"a.emf", "a.png", "old.png"}));
}

TEST_F(Cli, OutputNamedWithOIsReplaced) {
    const std::string in = put("a.emf", halvesEmf());
    writeFile(dir / "named.png", text("previous"));
    ASSERT_EQ(::link((dir / "named.png").c_str(), (dir / "old.png").c_str()), 0);
    const Outcome r = vellora({"render", in, "-o", dir / "named.png"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    Image img;
    EXPECT_TRUE(readPng(dir / "named.png", &img));
    // Replaced by a rename, not written over.
    EXPECT_EQ(readFile(dir / "old.png"), "previous");
}

TEST_F(Cli, BatchCountsSkippedOutputs) {
    writeFile(dir / "a.emf", halvesEmf());
    writeFile(dir / "b.emf", halvesEmf());
    writeFile(dir / "b.png", text("keep me"));
    const Outcome r = vellora({"render", dir / "a.emf", dir / "b.emf"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("rendered 1, failed 0, skipped 1"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(dir / "b.png"), "keep me");
}

TEST_F(Cli, OutputFilesGetTheUsualPermissions) {
    const std::string in = put("a.emf", halvesEmf());
    const mode_t old = ::umask(027);
    const Outcome r = vellora({"render", in});
    ::umask(old);
    ASSERT_EQ(r.status, 0);
    struct stat st;
    ASSERT_EQ(::stat((dir / "a.png").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(Cli, InputIsNeverWritten) {
    // An EMF named like the output it would get.
    const std::vector<uint8_t> emf = halvesEmf();
    const std::string in = put("picture.png", emf);
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"render", in, "--force"},
          std::vector<std::string>{"render", in, "-o", in, "--force"}}) {
        const Outcome r = vellora(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("is an input file"), std::string::npos) << r.err;
    }
    // Under another name too.
    ASSERT_EQ(::symlink(in.c_str(), (dir / "alias.png").c_str()), 0);
    const Outcome r = vellora({"render", in, "-o", dir / "alias.png", "--force"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(readFile(in), std::string(emf.begin(), emf.end()));
}

// One rule names every output, and inputs it gives one name fail after the first.
TEST_F(Cli, TwoInputsWithOneOutputNameFailTheSecond) {
    TempDir a, b;
    writeFile(a / "x.emf", halvesEmf());
    writeFile(a / "x.wmf", placeable(wmfBytes({{0x020C, {100, 100}}}), 1440, 1440, 1440));
    writeFile(a / "y.emf", squareEmf());
    writeFile(b / "x.emf", squareEmf());
    const struct {
        std::vector<std::string> inputs;
        std::string loser;
    } cases[] = {{{a.path()}, a / "x.wmf"}, {{a / "x.emf", b / "x.emf"}, b / "x.emf"}};
    for (const auto &c : cases) {
        TempDir out;
        std::vector<std::string> args = {"render", "--out-dir", out.path()};
        args.insert(args.end(), c.inputs.begin(), c.inputs.end());
        const Outcome r = vellora(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(c.loser + ": not rendered: " + a / "x.emf" + " has the same output " +
                             out / "x.png"),
                  std::string::npos)
            << r.err;
        Image img;
        ASSERT_TRUE(readPng(out / "x.png", &img));
        EXPECT_EQ(img.width, 192);  // the first input's
    }
}

// ---- info ------------------------------------------------------------------

TEST_F(Cli, InfoDescribesAnEmf) {
    EmfWriter w(0, 0, 5080, 2540);
    w.createBrush(1, 0, kRed).select(1).rectangle(0, 0, 100, 100);
    w.record(102, {0, 0});  // EMR_GLSRECORD: OpenGL, which the native player skips
    w.record(102, {0, 0});
    const std::string in = put("a.emf", w.bytes());
    const Outcome r = vellora({"info", in});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("format:        EMF"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("0,0 - 5080,2540 (0.01 mm"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("1000 x 1000 pixels, 100 x 100 mm"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("records:       7 (the header says 7)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("EMF+:          no"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("192 x 96 pixels at 96 dpi"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("EMR_GLSRECORD x2"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("EMR_HEADER"), std::string::npos) << r.out;
}

TEST_F(Cli, InfoTellsDualEmfPlusFromEmfPlusOnly) {
    for (uint16_t flags : {1, 0}) {
        EmfWriter w(0, 0, 2540, 2540);
        // EMR_COMMENT carrying an EMF+ header record: type 0x4001, the dual flag.
        std::vector<uint8_t> p = {32, 0, 0, 0, 'E', 'M', 'F', '+', 0x01, 0x40, uint8_t(flags), 0,
                                  28, 0, 0, 0, 16, 0, 0, 0};
        p.resize(36, 0);
        w.recordBytes(70, p);
        const Outcome r = vellora({"info", put("plus.emf", w.bytes()), "--dpi", "192"});
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.out.find(flags ? "1 records, 0 of them drawing; dual" : "0 of them drawing; EMF+ only"),
                  std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find("192 x 192 pixels at 192 dpi"), std::string::npos) << r.out;
    }
}

TEST_F(Cli, InfoDescribesPlaceableAndPlainWmf) {
    const std::vector<uint8_t> wmf =
        wmfBytes({{0x020C, {1000, 2000}}, {0x041B, {100, 200, 0, 0}}, {0x041B, {100, 200, 0, 0}}});
    Outcome r = vellora({"info", put("p.wmf", placeable(wmf, 2000, 1000, 1000))});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("format:        placeable WMF"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("bounding box:  0,0 - 2000,1000 (1000 units per inch)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("records:       4"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("192 x 96 pixels at 96 dpi"), std::string::npos) << r.out;

    r = vellora({"info", put("plain.wmf", wmf)});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("format:        WMF,"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("records:       4"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("bounding box"), std::string::npos) << r.out;
}

TEST_F(Cli, InfoReportsBrokenFilesAndGoesOn) {
    std::vector<uint8_t> cut = halvesEmf();
    cut.resize(cut.size() - 30);
    const Outcome r = vellora({"info", put("junk.emf", text("hello")), put("cut.emf", cut),
                           put("good.emf", halvesEmf())});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("junk.emf: not a metafile"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("cut.emf: truncated after record"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("good.emf\n  format:        EMF"), std::string::npos) << r.out;
}

TEST_F(Cli, InfoTakesDirectoriesAndWritesJson) {
    TempDir in;
    EmfWriter w(0, 0, 5080, 2540);
    w.record(102, {0, 0});  // EMR_GLSRECORD, which the native player skips
    writeFile(in / "a.emf", w.bytes());
    ASSERT_EQ(::mkdir((in / "sub").c_str(), 0755), 0);
    writeFile(in / "sub/q\"uote\\d.emz", gzipped(halvesEmf()));
    writeFile(in / "sub/junk.wmf", text("not a picture"));
    Outcome r = vellora({"info", in.path()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(in / "a.emf" + "\n  format:        EMF"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("sub/"), std::string::npos) << r.out;

    r = vellora({"info", in.path(), "-r", "--json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(isJson(r.out)) << r.out;
    EXPECT_TRUE(eachLineNamesTheCommand(r.err));
    for (const std::string &fact :
         {"{\"file\":\"" + in / "a.emf" + "\",\"format\":\"EMF\",",
          std::string("\"frame\":[0,0,5080,2540],"), std::string("\"records\":3,"),
          std::string("\"naturalSize\":{\"width\":192,\"height\":96,\"dpi\":96}"),
          std::string("\"notDrawn\":[{\"record\":\"EMR_GLSRECORD\",\"count\":1}]"),
          "\"file\":\"" + in / "sub/junk.wmf" + "\",\"problem\":\"not a metafile\"",
          "\"file\":\"" + in / "sub/q\\\"uote\\\\d.emz" + "\",\"format\":\"EMF\""})
        EXPECT_NE(r.out.find(fact), std::string::npos) << fact << "\n" << r.out;
    EXPECT_TRUE(isJson(vellora({"info", "--json", dir / "missing.emf"}).out));
}

// ---- the examples of the project ------------------------------------------

TEST_F(Cli, ExamplesAllRender) {
    const Outcome r = vellora({"render", sourcePath("examples"), "--out-dir", dir / "out"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> names = listDir(dir / "out");
    EXPECT_GE(names.size(), 5u);
    for (const std::string &n : names) {
        Image img;
        EXPECT_TRUE(readPng(dir / "out/" + n, &img)) << n;
    }
}

}  // namespace
