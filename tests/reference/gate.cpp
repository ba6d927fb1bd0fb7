// The reference suite's gate: draws every case of tests/reference with the
// native player as the reference pictures were drawn (VelloraFile, 160x120,
// keepAspect, key 255, angle 0, transparent bitmap) and compares with the
// committed picture.
//
//   vellora_reference_gate SUITE OUTDIR [--write-baseline] [--pictures] [--only TEXT]
//
// A pixel agrees when its largest premultiplied channel difference is at most
// 8. A case's agreement is the share of agreeing pixels; for text cases (area
// "text", or a case named "text...") the share over the pixels inked on
// either side, so that the empty background does not hide a glyph change.
// The gate fails when a case falls more than 0.5 points below its line in
// SUITE/baseline.tsv, or when a case has no picture or no baseline line; it
// writes OUTDIR/AREA--CASE.png (reference | mask | candidate) for each such
// case and OUTDIR/report.tsv for all. Cases listed in SUITE/divergences.txt
// are reported, not judged, unless SUITE/AREA/CASE.expected.png exists: then
// they are judged against that picture. --write-baseline rewrites the
// baseline from the current drawings; --pictures writes the three panels of
// every case below 99 %, for study.
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "vellora.h"

namespace fs = std::filesystem;

namespace {

constexpr int kW = 160, kH = 120;
constexpr int kTolerance = 8;
constexpr double kMargin = 0.5;  // points of agreement a case may lose

using Pixels = std::vector<uint8_t>;  // premultiplied BGRA, top row first

bool readPng(const std::string &path, Pixels *out) {
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str())) return false;
    if (img.width != kW || img.height != kH) {
        png_image_free(&img);
        return false;
    }
    img.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(img));
    if (!png_image_finish_read(&img, nullptr, rgba.data(), 0, nullptr)) return false;
    out->resize(rgba.size());
    for (size_t i = 0; i < rgba.size(); i += 4) {
        const unsigned a = rgba[i + 3];
        for (int c = 0; c < 3; ++c) (*out)[i + 2 - c] = uint8_t((rgba[i + c] * a + 127) / 255);
        (*out)[i + 3] = uint8_t(a);
    }
    return true;
}

bool writeRgbPng(const std::string &path, const std::vector<uint8_t> &rgb, int w, int h) {
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    img.width = png_uint_32(w);
    img.height = png_uint_32(h);
    img.format = PNG_FORMAT_RGB;
    const int ok = png_image_write_to_file(&img, path.c_str(), 0, rgb.data(), 0, nullptr);
    png_image_free(&img);
    return ok != 0;
}

void drawNative(const std::string &file, Pixels *out) {
    out->assign(size_t(kW) * kH * 4, 0);
    HDC dc = VelloraCreateBitmapDC(out->data(), kW, kH, kW * 4);
    const RECT r{0, 0, kW - 1, kH - 1};
    VelloraFile(dc, file.c_str(), &r, 255, 1, 0.0);
    VelloraDeleteDC(dc);
}

struct Score {
    double agreement = 100;  // percent
    int largest = 0;
};

Score compare(const Pixels &ref, const Pixels &cand, bool inkedOnly, std::vector<uint8_t> *diffs) {
    const size_t n = ref.size() / 4;
    size_t same = 0, counted = 0;
    Score s;
    diffs->assign(n, 0);
    for (size_t i = 0; i < n; ++i) {
        int d = 0;
        for (int c = 0; c < 4; ++c) d = std::max(d, std::abs(int(ref[i * 4 + c]) - int(cand[i * 4 + c])));
        (*diffs)[i] = uint8_t(d);
        s.largest = std::max(s.largest, d);
        if (inkedOnly && ref[i * 4 + 3] == 0 && cand[i * 4 + 3] == 0) continue;
        ++counted;
        same += d <= kTolerance;
    }
    s.agreement = counted ? 100.0 * double(same) / double(counted) : 100.0;
    return s;
}

// reference | mask | candidate over white, 4 grey pixels between; the mask is
// red where the pixels differ, brighter the larger the difference.
void writeTriptych(const std::string &path, const Pixels &ref, const Pixels &cand,
                   const std::vector<uint8_t> &diffs) {
    const int gap = 4, W = 3 * kW + 2 * gap;
    std::vector<uint8_t> rgb(size_t(W) * kH * 3, 160);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const size_t i = size_t(y) * kW + x;
            uint8_t *a = &rgb[(size_t(y) * W + x) * 3];
            uint8_t *m = &rgb[(size_t(y) * W + kW + gap + x) * 3];
            uint8_t *b = &rgb[(size_t(y) * W + 2 * (kW + gap) + x) * 3];
            for (int c = 0; c < 3; ++c) {
                a[c] = uint8_t(ref[i * 4 + 2 - c] + 255 - ref[i * 4 + 3]);
                b[c] = uint8_t(cand[i * 4 + 2 - c] + 255 - cand[i * 4 + 3]);
            }
            const int d = diffs[i];
            m[0] = d <= kTolerance ? 0 : uint8_t(std::min(255, 96 + d * 2));
            m[1] = m[2] = 0;
        }
    writeRgbPng(path, rgb, W, kH);
}

// "CASE<TAB>REST" lines; '#' starts a comment.
std::map<std::string, std::string> readTable(const std::string &path) {
    std::map<std::string, std::string> t;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        const size_t tab = line.find('\t');
        t[line.substr(0, tab)] = tab == std::string::npos ? "" : line.substr(tab + 1);
    }
    return t;
}

struct Case {
    std::string name;  // AREA/CASE
    std::string file;
};

std::vector<Case> findCases(const std::string &suite) {
    std::vector<Case> cases;
    for (const auto &area : fs::directory_iterator(suite)) {
        if (!area.is_directory()) continue;
        for (const auto &f : fs::directory_iterator(area.path())) {
            const std::string ext = f.path().extension().string();
            if (ext != ".emf" && ext != ".wmf") continue;
            cases.push_back({area.path().filename().string() + "/" + f.path().stem().string(), f.path().string()});
        }
    }
    std::sort(cases.begin(), cases.end(), [](const Case &a, const Case &b) { return a.name < b.name; });
    return cases;
}

bool isText(const std::string &name) {
    const size_t slash = name.find('/');
    return name.compare(0, slash, "text") == 0 || name.compare(slash + 1, 4, "text") == 0;
}

struct AreaSum {
    int cases = 0, good = 0;
    double sum = 0;
};

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: vellora_reference_gate SUITE OUTDIR [--write-baseline] [--pictures] [--only TEXT]\n");
        return 2;
    }
    const std::string suite = argv[1], outDir = argv[2];
    bool writeBaseline = false, pictures = false;
    std::string only;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--write-baseline") == 0) writeBaseline = true;
        else if (std::strcmp(argv[i], "--pictures") == 0) pictures = true;
        else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) only = argv[++i];
    }
    fs::create_directories(outDir);
    const auto baseline = readTable(suite + "/baseline.tsv");
    const auto divergences = readTable(suite + "/divergences.txt");
    const std::vector<Case> cases = findCases(suite);
    std::ofstream report(outDir + "/report.tsv");
    report << "case\tagreement\tlargest\tbaseline\tverdict\n";
    std::ostringstream newBaseline;
    newBaseline << "# case\tagreement (%)\tlargest difference; written by vellora_reference_gate --write-baseline\n";
    std::map<std::string, AreaSum> areas;
    int failures = 0, reported = 0;
    for (const Case &c : cases) {
        if (c.name.find(only) == std::string::npos) continue;
        const std::string stem = c.file.substr(0, c.file.size() - 4);
        const bool expected = fs::exists(stem + ".expected.png");
        const bool divergent = divergences.count(c.name) && !expected;
        Pixels ref, cand;
        std::vector<uint8_t> diffs;
        const std::string outName = outDir + "/" + c.name.substr(0, c.name.find('/')) + "--" +
                                    c.name.substr(c.name.find('/') + 1) + ".png";
        if (!readPng(expected ? stem + ".expected.png" : stem + ".png", &ref)) {
            std::printf("FAIL %s: no %dx%d reference picture\n", c.name.c_str(), kW, kH);
            ++failures;
            continue;
        }
        drawNative(c.file, &cand);
        const Score s = compare(ref, cand, isText(c.name), &diffs);
        char line[64];
        std::snprintf(line, sizeof line, "%.2f\t%d", s.agreement, s.largest);
        newBaseline << c.name << "\t" << line << "\n";
        AreaSum &a = areas[c.name.substr(0, c.name.find('/'))];
        ++a.cases;
        a.good += s.agreement >= 99.0;
        a.sum += s.agreement;
        std::string verdict = "ok";
        const auto b = baseline.find(c.name);
        const double floor = b == baseline.end() ? -1 : std::atof(b->second.c_str());
        if (divergent) {
            verdict = "reported";
            ++reported;
        } else if (writeBaseline) {
            verdict = "baseline";
        } else if (b == baseline.end()) {
            verdict = "no baseline";
            std::printf("FAIL %s: %.2f%%, no baseline line (tools/reference-suite/run --baseline)\n", c.name.c_str(),
                        s.agreement);
        } else if (s.agreement < floor - kMargin) {
            verdict = "below baseline";
            std::printf("FAIL %s: %.2f%% agree (baseline %.2f%%), largest difference %d; see %s\n", c.name.c_str(),
                        s.agreement, floor, s.largest, outName.c_str());
        }
        const bool failed = verdict == "no baseline" || verdict == "below baseline";
        failures += failed;
        if (failed || (pictures && s.agreement < 99.0)) writeTriptych(outName, ref, cand, diffs);
        report << c.name << "\t" << line << "\t" << (floor < 0 ? "" : b->second.substr(0, b->second.find('\t')))
               << "\t" << verdict << "\n";
    }
    int total = 0, good = 0;
    double sum = 0;
    for (const auto &[name, a] : areas) {
        std::printf("%-28s %4d cases, %4d at >= 99%%, mean %6.2f%%\n", name.c_str(), a.cases, a.good,
                    a.sum / a.cases);
        total += a.cases;
        good += a.good;
        sum += a.sum;
    }
    std::printf("%-28s %4d cases, %4d at >= 99%%, mean %6.2f%%; %d divergent cases reported, not judged\n", "all",
                total, good, total ? sum / total : 0.0, reported);
    if (writeBaseline) {
        if (!only.empty()) {
            std::fprintf(stderr, "vellora_reference_gate: --write-baseline needs every case, not --only\n");
            return 2;
        }
        std::ofstream(suite + "/baseline.tsv") << newBaseline.str();
        std::printf("baseline rewritten: %s/baseline.tsv\n", suite.c_str());
        return 0;
    }
    if (total == 0) {
        std::printf("FAIL: no cases in %s\n", suite.c_str());
        return 1;
    }
    if (failures) std::printf("%d cases failed; pictures in %s\n", failures, outDir.c_str());
    return failures ? 1 : 0;
}
