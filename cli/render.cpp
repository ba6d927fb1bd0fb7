#include "render.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "api/geometry.h"
#include "api/call_limits.h"
#include "api/loader.h"
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

namespace {

// The library turns the picture about the middle of its target and cuts off
// what leaves it, and its crop window stays inside the picture. To show the
// whole turned picture, the library gives a handle with a wider frame (the
// EMF's, or the one a WMF converts to), a crop window of it puts the picture, at its scale, into a target
// that holds both the picture and its turned self, and the turned picture's
// bounding box is cut out of the result, masked to the turned picture.
struct FitPlan {
    int targetW = 0, targetH = 0;  // what the library draws
    int cutX = 0, cutY = 0, cutW = 0, cutH = 0;
    double crop[4] = {0, 0, 1, 1};
    // The rotation as the library's resampler applies it: output point o
    // shows canvas point (R(o - c) + c), in output pixels.
    double cx = 0, cy = 0, cosA = 1, sinA = 0;
    double px0 = 0, py0 = 0, px1 = 0, py1 = 0;  // the picture before turning
};

void turn(const FitPlan &f, double x, double y, double *qx, double *qy) {
    x -= f.cx;
    y -= f.cy;
    *qx = x * f.cosA - y * f.sinA + f.cx;
    *qy = x * f.sinA + y * f.cosA + f.cy;
}

// Sizes and placements in output pixels for a w x h picture turned by `angle`.
std::string planFit(int w, int h, double angle, FitPlan *f) {
    f->cosA = std::cos(angle);
    f->sinA = std::sin(angle);
    const double ew = std::fabs(w * f->cosA) + std::fabs(h * f->sinA);
    const double eh = std::fabs(w * f->sinA) + std::fabs(h * f->cosA);
    // Rounding noise of the sine must not add a pixel (a quarter turn is exact).
    f->cutW = int(std::ceil(ew - 1e-6));
    f->cutH = int(std::ceil(eh - 1e-6));
    // Odd, so that the resampler's centre, (size + 1) / 2 rounded down, is whole and central.
    f->targetW = std::max(w, f->cutW) + 5 - (std::max(w, f->cutW) % 2);
    f->targetH = std::max(h, f->cutH) + 5 - (std::max(h, f->cutH) % 2);
    if (!drawableSize(f->targetW, f->targetH))
        return std::to_string(w) + " x " + std::to_string(h) + " pixels turned to fit need " +
               std::to_string(f->targetW) + " x " + std::to_string(f->targetH) +
               ", more than the library draws at once";
    f->cx = double((2 * f->targetW + 2) / 4);
    f->cy = double((2 * f->targetH + 2) / 4);
    // The turned picture's middle on a pixel corner or a pixel centre, as its
    // size needs, so that the cut holds it exactly.
    const double tx = f->cx + (f->cutW % 2 ? 0.5 : 0.0), ty = f->cy + (f->cutH % 2 ? 0.5 : 0.0);
    f->cutX = int(std::lround(tx - f->cutW / 2.0));
    f->cutY = int(std::lround(ty - f->cutH / 2.0));
    double mx, my;
    turn(*f, tx, ty, &mx, &my);
    f->px0 = mx - w / 2.0;
    f->px1 = mx + w / 2.0;
    f->py0 = my - h / 2.0;
    f->py1 = my + h / 2.0;
    return {};
}

bool frameOf(HENHMETAFILE mf, ENHMETAHEADER *h) {
    return mf && VelloraGetEnhMetaFileHeader(mf, sizeof *h, h) == sizeof *h;
}

// A handle for the picture with a frame that holds `want` (frame units, in
// the frame's own directions), or null.
HENHMETAFILE widened(HENHMETAFILE mf, const ENHMETAHEADER &h, const double want[4]) {
    const bool ltr = h.rclFrame.right >= h.rclFrame.left, ttb = h.rclFrame.bottom >= h.rclFrame.top;
    const double edge[4] = {ltr ? std::floor(want[0]) : std::ceil(want[0]),
                            ttb ? std::floor(want[1]) : std::ceil(want[1]),
                            ltr ? std::ceil(want[2]) : std::floor(want[2]),
                            ttb ? std::ceil(want[3]) : std::floor(want[3])};
    for (double e : edge)
        if (!(std::fabs(e) < 2e9)) return nullptr;
    const RECT frame{int32_t(edge[0]), int32_t(edge[1]), int32_t(edge[2]), int32_t(edge[3])};
    return metafileWithFrame(mf, frame);
}

// The share of output pixel (x, y) that the turned picture covers.
double coverage(const FitPlan &f, int x, int y) {
    double qx, qy;
    turn(f, x + 0.5, y + 0.5, &qx, &qy);
    const double inside = std::min({qx - f.px0, f.px1 - qx, qy - f.py0, f.py1 - qy});
    if (inside >= 0.75) return 1;
    if (inside <= -0.75) return 0;
    int in = 0;
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) {
            turn(f, x + (i + 0.5) / 4, y + (j + 0.5) / 4, &qx, &qy);
            in += qx >= f.px0 && qx < f.px1 && qy >= f.py0 && qy < f.py1;
        }
    return in / 16.0;
}

}  // namespace

struct PreparedFile {
    std::string output;
    Outcome out;         // final when not ready: failed or skipped
    bool ready = false;  // read, checked, with a handle and a size
    Scan scan;
    Resources res;
    int w = 0, h = 0;
    double angle = 0;
    double crop[4] = {0, 0, 1, 1};
    FitPlan fit;
};

void PreparedDeleter::operator()(PreparedFile *p) const { delete p; }

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

void writeDrawn(DrawnPicture &p, Outcome *out) {
    p.pending = false;
    switch (writePng(p, &out->reason)) {
    case AtomicFile::Commit::Done:
        out->kind = Outcome::Rendered;
        out->reason.clear();
        break;
    case AtomicFile::Commit::Exists:
        out->kind = Outcome::Skipped;
        out->reason = p.output + " exists (--force replaces it)";
        break;
    case AtomicFile::Commit::Error: out->kind = Outcome::Failed; break;
    }
}

Prepared prepareFile(const std::string &input, const std::string &output, const RenderOptions &o,
                     const std::set<FileId> &inputs) {
    // Long: each check ends the file with its own reason, in the order a user reads them.
    Prepared prepared(new PreparedFile);
    PreparedFile &p = *prepared;
    p.output = output;
    Outcome &out = p.out;
    Resources &res = p.res;
    const bool toStdout = output == "-";
    if (!toStdout) {
        struct stat st;
        if (::stat(output.c_str(), &st) == 0) {
            if (inputs.count({st.st_dev, st.st_ino})) {
                out.reason = "its output " + output + " is an input file, which is never written";
                return prepared;
            }
            if (!o.force) {
                out.kind = Outcome::Skipped;
                out.reason = output + " exists (--force replaces it)";
                return prepared;
            }
        }
    }

    std::vector<uint8_t> bytes;
    out.reason = readWholeFile(input, &bytes);
    if (!out.reason.empty()) return prepared;

    p.scan = scanMetafile(bytes.data(), bytes.size());
    const Scan &scan = p.scan;
    if (!scan.headerOk) {
        out.reason = scan.problem.empty() ? "not a metafile" : scan.problem;
        return prepared;
    }
    if (!scan.problem.empty()) {
        out.reason = scan.problem;
        return prepared;
    }
    if (drawsText(scan)) startLoadingFonts();
    res.metafile = makeHandle(scan, bytes);
    if (!res.metafile) {
        out.reason = std::string("not a metafile (the library refuses its ") +
                     formatName(scan.format) + " header)";
        return prepared;
    }
    const Picture pic = pictureOf(scan, res.metafile);
    int &w = p.w, &h = p.h;
    out.reason = outputSize(o, pic, &w, &h, &out.notice);
    if (!out.reason.empty()) return prepared;
    const double angle = p.angle = o.rotateDegrees * kPi / 180.0;
    double *crop = p.crop;
    std::copy(o.crop, o.crop + 4, crop);
    FitPlan &fit = p.fit;
    if (o.rotateFit) {
        out.reason = planFit(w, h, angle, &fit);
        if (!out.reason.empty()) return prepared;
        ENHMETAHEADER hd{};
        if (!frameOf(res.metafile, &hd)) {
            out.reason = "cannot turn it to fit: the library gives no frame for it";
            return prepared;
        }
        // The picture (the crop window of the frame) in frame units, and the
        // part of the frame the target shows.
        const RECT &F = hd.rclFrame;
        const double fx0 = F.left + o.crop[0] * (double(F.right) - F.left);
        const double fy0 = F.top + o.crop[1] * (double(F.bottom) - F.top);
        const double sx = (o.crop[2] - o.crop[0]) * (double(F.right) - F.left) / w;
        const double sy = (o.crop[3] - o.crop[1]) * (double(F.bottom) - F.top) / h;
        const double want[4] = {fx0 + (0.5 - fit.px0) * sx, fy0 + (0.5 - fit.py0) * sy,
                                fx0 + (fit.targetW + 0.5 - fit.px0) * sx,
                                fy0 + (fit.targetH + 0.5 - fit.py0) * sy};
        HENHMETAFILE wide = widened(res.metafile, hd, want);
        ENHMETAHEADER wh{};
        if (!frameOf(wide, &wh)) {
            if (wide) VelloraDeleteEnhMetaFile(wide);
            out.reason = "cannot turn it to fit: its frame cannot be widened";
            return prepared;
        }
        VelloraDeleteEnhMetaFile(res.metafile);
        res.metafile = wide;
        const RECT &G = wh.rclFrame;
        crop[0] = (want[0] - G.left) / (double(G.right) - G.left);
        crop[1] = (want[1] - G.top) / (double(G.bottom) - G.top);
        crop[2] = (want[2] - G.left) / (double(G.right) - G.left);
        crop[3] = (want[3] - G.top) / (double(G.bottom) - G.top);
        for (int i = 0; i < 4; ++i)
            if (!(crop[i] >= -1e-9 && crop[i] <= 1 + 1e-9)) {
                out.reason = "cannot turn it to fit: its frame cannot be widened enough";
                return prepared;
            }
        w = fit.targetW;
        h = fit.targetH;
    }
    p.ready = true;
    return prepared;
}

Outcome drawPrepared(PreparedFile &p, const RenderOptions &o, DrawnPicture *later) {
    // Long: the draw, the empty-picture notice, the turned picture's cut and the hand-over to
    // the writer share the pixels and the output's size.
    Outcome out = p.out;
    if (!p.ready) return out;
    const std::string &output = p.output;
    const bool toStdout = output == "-";
    const Scan &scan = p.scan;
    Resources &res = p.res;
    int w = p.w, h = p.h;
    const double angle = p.angle;
    const double *crop = p.crop;
    const FitPlan &fit = p.fit;

    // The picture is drawn over transparency; the background, if any, goes
    // under it as the PNG is encoded, with the blend's arithmetic.
    DrawnPicture own;
    DrawnPicture &drawn = later && !toStdout ? *later : own;
    std::vector<uint32_t> &pixels = drawn.pixels;
    try {
        // Memory a batch's writer cleared after its last picture is all zero.
        // A larger picture takes fresh memory, with room for the next ones.
        const size_t n = size_t(w) * size_t(h);
        if (drawn.cleared && n <= pixels.size()) {
            pixels.resize(n);
        } else {
            std::vector<uint32_t>().swap(pixels);
            if (later) pixels.reserve(n + n / 4);
            pixels.resize(n);
        }
        drawn.cleared = false;
    } catch (const std::bad_alloc &) {
        out.reason = "out of memory for " + std::to_string(w) + " x " + std::to_string(h) + " pixels";
        return out;
    }
    res.dc = VelloraCreateBitmapDC(pixels.data(), w, h, 4 * w);
    const RECT rect{0, 0, w - 1, h - 1};
    if (!res.dc || !Vellora(res.dc, res.metafile, &rect, o.key, angle, crop[0], crop[1], crop[2],
                            crop[3])) {
        out.reason = "the library could not draw it at " + std::to_string(w) + " x " +
                     std::to_string(h) + " pixels";
        return out;
    }
    // A picture that comes out empty is worth a word: the file may hold its
    // drawing where it is not played.
    if (std::none_of(pixels.begin(), pixels.end(), [](uint32_t px) { return px >> 24; })) {
        if (!out.notice.empty()) out.notice += "; ";
        out.notice += "nothing drawn: " + whyNothingDrawn(scan);
    }
    VelloraDeleteDC(res.dc);
    res.dc = nullptr;
    VelloraDeleteEnhMetaFile(res.metafile);
    res.metafile = nullptr;

    drawn.first = 0;
    drawn.stride = size_t(w) * 4;
    drawn.png = o.png;
    drawn.png.dpi = o.dpi;
    drawn.background = o.background;
    drawn.output = output;
    drawn.replace = o.force;
    if (o.rotateFit) {
        // Only the turned picture, in its bounding box.
        for (int y = 0; y < fit.cutH; ++y)
            for (int x = 0; x < fit.cutW; ++x) {
                const int ox = fit.cutX + x, oy = fit.cutY + y;
                const double c = coverage(fit, ox, oy);
                if (c >= 1) continue;
                auto *px = reinterpret_cast<uint8_t *>(&pixels[size_t(oy) * w + ox]);
                for (int i = 0; i < 4; ++i) px[i] = uint8_t(std::lround(px[i] * c));
            }
        drawn.first = size_t(fit.cutY) * size_t(w) + size_t(fit.cutX);
        w = fit.cutW;
        h = fit.cutH;
    }
    drawn.w = w;
    drawn.h = h;
    out.width = w;
    out.height = h;

    if (toStdout) {
        const auto *bgra = reinterpret_cast<const uint8_t *>(pixels.data() + drawn.first);
        out.reason = encodePng(stdout, bgra, w, h, drawn.stride, o.background, drawn.png);
        if (out.reason.empty() && std::fflush(stdout) != 0)
            out.reason = "cannot write to standard output: " + errnoText(errno);
        if (!out.reason.empty()) return out;
    } else if (later) {
        drawn.pending = true;
    } else {
        writeDrawn(drawn, &out);
        return out;
    }
    out.kind = Outcome::Rendered;
    out.reason.clear();
    return out;
}

Outcome renderFile(const std::string &input, const std::string &output, const RenderOptions &o,
                   const std::set<FileId> &inputs, DrawnPicture *later) {
    Prepared p = prepareFile(input, output, o, inputs);
    return drawPrepared(*p, o, later);
}

}  // namespace vellora::cli
