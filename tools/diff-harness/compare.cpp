// The native side of the differential harness, and its PNG writer.
//
//   vellora-diff compare LIST REFDIR OUTDIR WIDTH HEIGHT
//       Draws each file of LIST (one path a line) through the native build as
//       the reference side drew it -- VelloraFile with keepAspect into a
//       transparent WIDTH x HEIGHT bitmap -- and compares it with
//       REFDIR/NNNNN.bgra. Prints one line a file and a summary; writes
//       OUTDIR/report.tsv, and OUTDIR/NNNNN-NAME.png (reference | difference
//       mask | candidate) for each file below 99 %.
//   vellora-diff png RAW WIDTH HEIGHT OUT.png
//       Writes premultiplied BGRA pixels as an RGBA PNG (straight alpha).
//
// Each native drawing runs in a child process with a time limit, so that a
// crash or hang of the player is reported for its file and the run goes on.
#include <png.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "vellora.h"

namespace {

constexpr int kTolerance = 8;          // largest channel difference still "same"
constexpr double kGoodShare = 0.99;    // files at or above this share count as matching
constexpr unsigned kSecondsPerFile = 20;

using Pixels = std::vector<uint8_t>;  // premultiplied BGRA, top row first

bool readFile(const std::string &path, Pixels *out, size_t size) {
    std::ifstream in(path, std::ios::binary);
    out->assign(size, 0);
    return in.read(reinterpret_cast<char *>(out->data()), std::streamsize(size)) &&
           size_t(in.gcount()) == size;
}

bool writePng(const std::string &path, const std::vector<uint8_t> &rgba, int w, int h,
              bool alpha) {
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    img.width = png_uint_32(w);
    img.height = png_uint_32(h);
    img.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    const int ok = png_image_write_to_file(&img, path.c_str(), 0, rgba.data(), 0, nullptr);
    png_image_free(&img);
    return ok != 0;
}

// Premultiplied BGRA to straight RGBA, rounding to nearest.
std::vector<uint8_t> straightRgba(const Pixels &px) {
    std::vector<uint8_t> out(px.size());
    for (size_t i = 0; i < px.size(); i += 4) {
        const unsigned a = px[i + 3];
        for (int c = 0; c < 3; ++c) {
            const unsigned v = px[i + 2 - c];
            out[i + c] = a ? uint8_t(std::min(255u, (v * 255 + a / 2) / a)) : 0;
        }
        out[i + 3] = uint8_t(a);
    }
    return out;
}

// Premultiplied BGRA over white, as RGB.
void overWhite(const Pixels &px, int w, int h, int stride, int x0, std::vector<uint8_t> *out) {
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t *p = &px[(size_t(y) * w + x) * 4];
            uint8_t *o = &(*out)[(size_t(y) * stride + x0 + x) * 3];
            for (int c = 0; c < 3; ++c) o[c] = uint8_t(p[2 - c] + 255 - p[3]);
        }
}

struct Score {
    double share = 0, mean = 0;
};

Score compare(const Pixels &ref, const Pixels &cand, std::vector<uint8_t> *diffs) {
    const size_t n = ref.size() / 4;
    size_t same = 0;
    double sum = 0;
    diffs->resize(n);
    for (size_t i = 0; i < n; ++i) {
        int d = 0;
        for (int c = 0; c < 4; ++c) d = std::max(d, std::abs(int(ref[i * 4 + c]) - int(cand[i * 4 + c])));
        (*diffs)[i] = uint8_t(d);
        same += d <= kTolerance;
        sum += d;
    }
    return {n ? double(same) / double(n) : 1.0, n ? sum / double(n) : 0.0};
}

// reference | mask | candidate, with 4 grey pixels between the panels. The
// mask is black where the pixels agree, red where they differ, brighter the
// larger the difference.
bool writeTriptych(const std::string &path, const Pixels &ref, const Pixels &cand,
                   const std::vector<uint8_t> &diffs, int w, int h) {
    const int gap = 4, W = 3 * w + 2 * gap;
    std::vector<uint8_t> rgb(size_t(W) * h * 3, 160);
    overWhite(ref, w, h, W, 0, &rgb);
    overWhite(cand, w, h, W, 2 * (w + gap), &rgb);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int d = diffs[size_t(y) * w + x];
            uint8_t *o = &rgb[(size_t(y) * W + w + gap + x) * 3];
            o[0] = d <= kTolerance ? 0 : uint8_t(std::min(255, 96 + d * 2));
            o[1] = o[2] = 0;
        }
    return writePng(path, rgb, W, h, false);
}

// Draws `file` natively in a child process; the result byte, or -1 when the
// child crashed, -2 when it ran out of time.
int drawNative(const std::string &file, int w, int h, Pixels *out) {
    const size_t bytes = size_t(w) * h * 4;
    void *shared = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED) return -1;
    std::memset(shared, 0, bytes);
    const pid_t pid = fork();
    if (pid == 0) {
        alarm(kSecondsPerFile);
        HDC dc = VelloraCreateBitmapDC(shared, w, h, w * 4);
        const RECT r{0, 0, w - 1, h - 1};
        const unsigned char result = VelloraFile(dc, file.c_str(), &r, 255, 1, 0.0);
        VelloraDeleteDC(dc);
        _exit(result);
    }
    int status = 0;
    int result = -1;
    if (pid > 0 && waitpid(pid, &status, 0) == pid) {
        if (WIFEXITED(status)) result = WEXITSTATUS(status);
        else if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) result = -2;
    }
    const uint8_t *p = static_cast<const uint8_t *>(shared);
    out->assign(p, p + bytes);
    munmap(shared, bytes);
    return result;
}

std::string baseName(const std::string &path) {
    const size_t slash = path.find_last_of('/');
    std::string b = slash == std::string::npos ? path : path.substr(slash + 1);
    for (char &c : b)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') c = '_';
    return b;
}

const char *resultText(int r) {
    switch (r) {
    case 0: return "0";
    case 1: return "1";
    case -2: return "hang";
    default: return "crash";
    }
}

int runCompare(const std::string &list, const std::string &refDir, const std::string &outDir,
               int w, int h) {
    std::vector<std::string> files;
    {
        std::ifstream in(list);
        for (std::string line; std::getline(in, line);)
            if (!line.empty()) files.push_back(line);
    }
    std::vector<int> refResults(files.size(), -1);
    {
        std::ifstream in(refDir + "/results.tsv");
        for (unsigned i; in >> i;) {
            int r;
            if (!(in >> r)) break;
            if (i < refResults.size()) refResults[i] = r;
        }
    }
    std::ofstream report(outDir + "/report.tsv");
    report << "index\tshare\tmean_diff\treference_result\tcandidate_result\tfile\n";
    double shareSum = 0;
    int good = 0, compared = 0;
    const size_t bytes = size_t(w) * h * 4;
    for (size_t i = 0; i < files.size(); ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "%05u", unsigned(i));
        Pixels ref, cand;
        const bool haveRef = readFile(refDir + "/" + name + ".bgra", &ref, bytes);
        if (!haveRef) {
            std::printf("   -       -    ref %-5s (no reference picture)  %s\n",
                        resultText(refResults[i]), files[i].c_str());
            report << i << "\t\t\t" << resultText(refResults[i]) << "\t\t" << files[i] << "\n";
            continue;
        }
        const int candResult = drawNative(files[i], w, h, &cand);
        std::vector<uint8_t> diffs;
        const Score s = compare(ref, cand, &diffs);
        ++compared;
        shareSum += s.share;
        good += s.share >= kGoodShare;
        std::printf("%6.2f%% %6.2f  ref %-5s native %-5s %s\n", 100 * s.share, s.mean,
                    resultText(refResults[i]), resultText(candResult), files[i].c_str());
        report << i << "\t" << s.share << "\t" << s.mean << "\t" << resultText(refResults[i])
               << "\t" << resultText(candResult) << "\t" << files[i] << "\n";
        if (s.share < kGoodShare)
            writeTriptych(outDir + "/" + name + "-" + baseName(files[i]) + ".png", ref, cand, diffs,
                          w, h);
    }
    std::printf("summary: %d files at %dx%d, mean share %.2f%%, %d of %d at >= 99%%\n", compared, w,
                h, compared ? 100 * shareSum / compared : 0.0, good, compared);
    report.flush();
    return 0;
}

int runPng(const std::string &raw, int w, int h, const std::string &out) {
    Pixels px;
    if (!readFile(raw, &px, size_t(w) * h * 4)) {
        std::fprintf(stderr, "vellora-diff: cannot read %s\n", raw.c_str());
        return 1;
    }
    if (!writePng(out, straightRgba(px), w, h, true)) {
        std::fprintf(stderr, "vellora-diff: cannot write %s\n", out.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    // 8-bit paths are in the locale's character set.
    std::setlocale(LC_ALL, "");
    const std::string cmd = argc > 1 ? argv[1] : "";
    if (cmd == "compare" && argc == 7) {
        const int w = std::atoi(argv[5]), h = std::atoi(argv[6]);
        if (w > 0 && h > 0) return runCompare(argv[2], argv[3], argv[4], w, h);
    } else if (cmd == "png" && argc == 6) {
        const int w = std::atoi(argv[3]), h = std::atoi(argv[4]);
        if (w > 0 && h > 0) return runPng(argv[2], w, h, argv[5]);
    }
    std::fprintf(stderr,
                 "usage: vellora-diff compare LIST REFDIR OUTDIR WIDTH HEIGHT\n"
                 "       vellora-diff png RAW WIDTH HEIGHT OUT.png\n");
    return 2;
}
