#include "render.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "api/geometry.h"
#include "api/limits.h"
#include "errors.h"
#include "fonts.h"

namespace vellora::cli {

namespace {

constexpr double kPi = 3.14159265358979323846;

// The largest size within `boxW` x `boxH` and the library's limits with the
// proportions of fw x fh: one common factor, rounded down so that it fits.
void scaleInto(double fw, double fh, double boxW, double boxH, double *w, double *h) {
    double s = std::min({1.0, boxW / fw, boxH / fh});
    // (s*fw + 1)(s*fh + 1) <= area, solved for s.
    const double area = double(limits::kMaxCanvasPairBytes / 32), b = fw + fh, a = fw * fh;
    if ((s * fw + 1) * (s * fh + 1) > area)
        s = std::min(s, (std::sqrt(b * b + 4 * a * (area - 1)) - b) / (2 * a));
    *w = std::max(1.0, std::floor(s * fw));
    *h = std::max(1.0, std::floor(s * fh));
    // Rounding of the square root can leave a pixel too many.
    while (!drawableSize(int64_t(*w), int64_t(*h))) {
        if (*w >= *h && *w > 1) *w -= 1;
        else *h -= 1;
    }
}

}  // namespace

bool drawableSize(int64_t w, int64_t h) { return h <= kMaxOutputHeight && limits::targetFits(w, h); }

namespace {

// Releases what one render creates, on every way out.
struct Resources {
    HENHMETAFILE metafile = nullptr;
    HDC dc = nullptr;
    ~Resources() {
        if (dc) VelloraDeleteDC(dc);
        if (metafile) VelloraDeleteEnhMetaFile(metafile);
    }
};

}  // namespace

std::string outputSize(const RenderOptions &o, const Picture &pic, int *w, int *h,
                       std::string *notice) {
    const double cw = o.crop[2] - o.crop[0], ch = o.crop[3] - o.crop[1];
    // The aspect ratio of the part shown, from the library's float.
    const double aspect = std::fabs(double(pic.aspect)) * cw / ch;
    const bool aspectOk = std::isfinite(aspect) && aspect > 0;
    double fw, fh;
    if (o.width && o.height) {
        fw = *o.width;
        fh = *o.height;
        if (o.keepAspect && aspectOk) {
            const RECT r = fitToAspect(RECT{0, 0, *o.width - 1, *o.height - 1}, float(aspect));
            fw = double(r.right) + 1;
            fh = double(r.bottom) + 1;
        }
    } else if (o.width || o.height) {
        if (!aspectOk)
            return "the picture's frame is empty, so it has no aspect ratio; give both --width "
                   "and --height";
        fw = o.width ? *o.width : std::max(1.0, std::round(*o.height * aspect));
        fh = o.height ? *o.height : std::max(1.0, std::round(*o.width / aspect));
    } else {
        fw = std::round(pic.widthInches * cw * o.dpi);
        fh = std::round(pic.heightInches * ch * o.dpi);
        if (!(fw >= 1 && fh >= 1))
            return "the picture's frame is empty, so it has no natural size; give --width and "
                   "--height";
    }
    if (!(fw >= 1 && fh >= 1))
        return "the picture's frame is empty, so it has no natural size; give --width and --height";
    // Both sides given were checked against the limits as options were read,
    // and fitting only shrinks them; a size that follows the picture is
    // scaled down into the box instead of refused.
    const double boxW = o.maxWidth ? *o.maxWidth : limits::kMaxTargetWidth;
    const double boxH = o.maxHeight ? *o.maxHeight : kMaxOutputHeight;
    const bool fixed = o.width && o.height;
    if (!fixed && (fw > boxW || fh > boxH || !drawableSize(int64_t(fw), int64_t(fh)))) {
        double sw, sh;
        scaleInto(fw, fh, boxW, boxH, &sw, &sh);
        if (notice && !o.maxWidth) {
            char at[48] = "";
            if (!o.width && !o.height) std::snprintf(at, sizeof at, " at %g dpi", o.dpi);
            char buf[320];
            std::snprintf(buf, sizeof buf,
                          "drawn at %.0f x %.0f pixels: %.0f x %.0f%s is more than the library "
                          "draws at once (at most %d wide, %d high, about 5790 x 5790 in all)",
                          sw, sh, fw, fh, at, int(limits::kMaxTargetWidth),
                          kMaxOutputHeight);
            *notice = buf;
        }
        fw = sw;
        fh = sh;
    }
    if (!drawableSize(int64_t(fw), int64_t(fh)))
        return std::to_string(int64_t(fw)) + " x " + std::to_string(int64_t(fh)) +
               " pixels is more than the library draws at once";
    *w = int(fw);
    *h = int(fh);
    return {};
}

Outcome renderFile(const std::string &input, const std::string &output, const RenderOptions &o,
                   const std::set<FileId> &inputs) {
    Outcome out;
    const bool toStdout = output == "-";
    if (!toStdout) {
        struct stat st;
        if (::stat(output.c_str(), &st) == 0) {
            if (inputs.count({st.st_dev, st.st_ino})) {
                out.reason = "its output " + output + " is an input file, which is never written";
                return out;
            }
            if (!o.force) {
                out.kind = Outcome::Skipped;
                out.reason = output + " exists (--force replaces it)";
                return out;
            }
        }
    }

    std::vector<uint8_t> bytes;
    out.reason = readWholeFile(input, &bytes);
    if (!out.reason.empty()) return out;

    const Scan scan = scanMetafile(bytes.data(), bytes.size());
    if (!scan.headerOk) {
        out.reason = scan.problem.empty() ? "not a metafile" : scan.problem;
        return out;
    }
    if (!scan.problem.empty()) {
        out.reason = scan.problem;
        return out;
    }
    if (drawsText(scan)) startLoadingFonts();
    Resources res;
    res.metafile = makeHandle(scan, bytes);
    if (!res.metafile) {
        out.reason = std::string("not a metafile (the library refuses its ") +
                     formatName(scan.format) + " header)";
        return out;
    }
    const Picture pic = pictureOf(scan, res.metafile);
    int w = 0, h = 0;
    out.reason = outputSize(o, pic, &w, &h, &out.notice);
    if (!out.reason.empty()) return out;
    bytes.clear();
    bytes.shrink_to_fit();

    // The picture is drawn over transparency; the background, if any, goes
    // under it as the PNG is encoded, with the blend's arithmetic.
    std::vector<uint32_t> pixels;
    try {
        pixels.assign(size_t(w) * size_t(h), 0);
    } catch (const std::bad_alloc &) {
        out.reason = "out of memory for " + std::to_string(w) + " x " + std::to_string(h) + " pixels";
        return out;
    }
    res.dc = VelloraCreateBitmapDC(pixels.data(), w, h, 4 * w);
    const RECT rect{0, 0, w - 1, h - 1};
    const double angle = o.rotateDegrees * kPi / 180.0;
    if (!res.dc || !Vellora(res.dc, res.metafile, &rect, o.key, angle, o.crop[0], o.crop[1],
                            o.crop[2], o.crop[3])) {
        out.reason = "the library could not draw it at " + std::to_string(w) + " x " +
                     std::to_string(h) + " pixels";
        return out;
    }
    // A picture that comes out empty is worth a word: the file may hold its
    // drawing where it is not played.
    if (std::none_of(pixels.begin(), pixels.end(), [](uint32_t p) { return p >> 24; })) {
        if (!out.notice.empty()) out.notice += "; ";
        out.notice += "nothing drawn: " + whyNothingDrawn(scan);
    }
    VelloraDeleteDC(res.dc);
    res.dc = nullptr;
    VelloraDeleteEnhMetaFile(res.metafile);
    res.metafile = nullptr;

    const auto *bgra = reinterpret_cast<const uint8_t *>(pixels.data());
    PngSettings png = o.png;
    png.dpi = o.dpi;
    if (toStdout) {
        out.reason = encodePng(stdout, bgra, w, h, size_t(w) * 4, o.background, png);
        if (out.reason.empty() && std::fflush(stdout) != 0)
            out.reason = "cannot write to standard output: " + errnoText(errno);
        if (!out.reason.empty()) return out;
    } else {
        AtomicFile file;
        out.reason = file.open(output);
        if (!out.reason.empty()) return out;
        out.reason = encodePng(file.stream(), bgra, w, h, size_t(w) * 4, o.background, png);
        if (!out.reason.empty()) return out;
        switch (file.commit(o.force, &out.reason)) {
        case AtomicFile::Commit::Done: break;
        case AtomicFile::Commit::Exists:
            out.kind = Outcome::Skipped;
            out.reason = output + " exists (--force replaces it)";
            return out;
        case AtomicFile::Commit::Error: return out;
        }
    }
    out.kind = Outcome::Rendered;
    out.reason.clear();
    out.width = w;
    out.height = h;
    return out;
}

}  // namespace vellora::cli
