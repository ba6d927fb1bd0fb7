#include "info.h"

#include <cmath>
#include <vector>

#include "metafile.h"
#include "player/records.h"
#include "render.h"

namespace vellora::cli {

namespace {

using player::Support;

std::string recordLabel(const Scan &scan, uint32_t type) {
    const player::RecordKind k =
        scan.format == Format::Emf ? player::emfRecord(type) : player::wmfRecord(uint16_t(type));
    if (k.name) return k.name;
    char buf[48];
    std::snprintf(buf, sizeof buf, scan.format == Format::Emf ? "unknown type %u" : "unknown 0x%04X",
                  type);
    return buf;
}

Support recordSupport(const Scan &scan, uint32_t type) {
    return scan.format == Format::Emf ? player::emfRecord(type).support
                                      : player::wmfRecord(uint16_t(type)).support;
}

// A JSON object written as facts come; keys are plain, strings escaped.
class JsonObject {
public:
    explicit JsonObject(std::string *out) : out_(out) { *out_ += '{'; }
    void str(const char *key, const std::string &v) { keyed(key) += quoted(v); }
    void num(const char *key, double v) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.17g", v);
        keyed(key) += buf;
    }
    void boolean(const char *key, bool v) { keyed(key) += v ? "true" : "false"; }
    void rect(const char *key, const RECT &r) {
        keyed(key) += "[" + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
                      std::to_string(r.right) + "," + std::to_string(r.bottom) + "]";
    }
    // A nested object or array, written by the caller after the key.
    std::string &raw(const char *key) { return keyed(key); }
    void close() { *out_ += '}'; }

    static std::string quoted(const std::string &v) {
        std::string q = "\"";
        for (unsigned char c : v) {
            if (c == '"' || c == '\\') {
                q += '\\';
                q += char(c);
            } else if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                q += buf;
            } else {
                q += char(c);  // UTF-8 passes through; other bytes are the file name's own
            }
        }
        return q + '"';
    }

private:
    std::string &keyed(const char *key) {
        if (!first_) *out_ += ',';
        first_ = false;
        return *out_ += quoted(key) + ':';
    }
    std::string *out_;
    bool first_ = true;
};

void printRect(std::FILE *out, const char *label, const RECT &r, const char *unit) {
    std::fprintf(out, "  %-14s %d,%d - %d,%d %s\n", label, r.left, r.top, r.right, r.bottom, unit);
}

}  // namespace

void reportProblem(const std::string &path, const std::string &problem, bool json,
                   std::FILE *out, bool *separate) {
    std::fprintf(stderr, "vellora: %s: %s\n", path.c_str(), problem.c_str());
    if (!json) return;
    if (*separate) std::fputs(",\n", out);
    *separate = true;
    std::string js;
    JsonObject j(&js);
    j.str("file", path);
    j.str("problem", problem);
    j.close();
    std::fputs(js.c_str(), out);
}

bool describeFile(const std::string &path, double dpi, bool json, std::FILE *out,
                  bool *separate) {
    const std::string shownPath = path == "-" ? "standard input" : path;
    std::string js;
    JsonObject j(&js);
    j.str("file", shownPath);
    // Text goes out as it comes; JSON once the object is whole.
    const auto begin = [&] {
        if (json) {
            if (*separate) std::fputs(",\n", out);
        } else if (*separate) {
            std::fputc('\n', out);
        }
        *separate = true;
    };
    const auto fail = [&](const std::string &problem) {
        std::fprintf(stderr, "vellora: %s: %s\n", shownPath.c_str(), problem.c_str());
        if (!json) return false;
        j.str("problem", problem);
        j.close();
        std::fputs(js.c_str(), out);
        return false;
    };

    std::vector<uint8_t> bytes;
    size_t packed = 0;
    const std::string reason = readWholeFile(path, &bytes, &packed);
    if (!reason.empty()) {
        if (json) begin();
        return fail(reason);
    }
    const Scan scan = scanMetafile(bytes.data(), bytes.size());
    if (!scan.headerOk) {
        if (json) begin();
        return fail(scan.problem.empty() ? "not a metafile" : scan.problem);
    }
    HENHMETAFILE handle = makeHandle(scan, bytes);
    const Picture pic = pictureOf(scan, handle);
    ENHMETAHEADER platformHeader{};
    const bool haveHeader =
        handle && VelloraGetEnhMetaFileHeader(handle, sizeof platformHeader, &platformHeader);
    const bool accepted = handle != nullptr;
    if (handle) VelloraDeleteEnhMetaFile(handle);

    begin();
    if (!json) std::fprintf(out, "%s\n", shownPath.c_str());
    j.str("format", formatName(scan.format));
    j.num("bytes", double(bytes.size()));
    if (packed) j.num("gzipBytes", double(packed));
    if (!json) {
        std::fprintf(out, "  %-14s %s, %zu bytes", "format:", formatName(scan.format), bytes.size());
        if (packed) std::fprintf(out, " (gzip-compressed: %zu bytes)", packed);
        std::fputc('\n', out);
    }
    const auto device = [&](const ENHMETAHEADER &h, const char *note) {
        j.rect("bounds", h.rclBounds);
        j.raw("devicePixels") += "[" + std::to_string(h.szlDevice.cx) + "," +
                                 std::to_string(h.szlDevice.cy) + "]";
        j.raw("deviceMillimeters") += "[" + std::to_string(h.szlMillimeters.cx) + "," +
                                      std::to_string(h.szlMillimeters.cy) + "]";
        if (json) return;
        printRect(out, "bounds:", h.rclBounds, note);
        std::fprintf(out, "  %-14s %d x %d pixels, %d x %d mm\n", "device:", h.szlDevice.cx,
                     h.szlDevice.cy, h.szlMillimeters.cx, h.szlMillimeters.cy);
    };
    if (scan.format == Format::Emf) {
        const ENHMETAHEADER &h = scan.emf;
        j.rect("frame", h.rclFrame);
        if (!json)
            std::fprintf(out, "  %-14s %d,%d - %d,%d (0.01 mm; %.2f x %.2f mm)\n", "frame:",
                         h.rclFrame.left, h.rclFrame.top, h.rclFrame.right, h.rclFrame.bottom,
                         (double(h.rclFrame.right) - h.rclFrame.left) / 100.0,
                         (double(h.rclFrame.bottom) - h.rclFrame.top) / 100.0);
        device(h, "(device pixels)");
        j.num("records", double(scan.records));
        j.num("headerRecords", h.nRecords);
        if (!json)
            std::fprintf(out, "  %-14s %llu (the header says %u)\n", "records:",
                         (unsigned long long)scan.records, h.nRecords);
        if (scan.emfPlus) {
            std::string &o = j.raw("emfPlus");
            JsonObject plus(&o);
            plus.num("records", double(scan.emfPlusRecords));
            plus.num("drawing", double(scan.emfPlusPainting));
            plus.boolean("dual", scan.emfPlusDual);
            plus.close();
        } else {
            j.raw("emfPlus") += "null";
        }
        if (!json && !scan.emfPlus)
            std::fprintf(out, "  %-14s no\n", "EMF+:");
        else if (!json)
            std::fprintf(out, "  %-14s %llu records, %llu of them drawing; %s\n", "EMF+:",
                         (unsigned long long)scan.emfPlusRecords,
                         (unsigned long long)scan.emfPlusPainting,
                         scan.emfPlusDual ? "dual (the EMF records draw the picture too)"
                                          : "EMF+ only (the native player draws none of it)");
        j.num("drawingRecords", double(scan.painting));
        if (!json)
            std::fprintf(out, "  %-14s %llu drawing records%s\n", "GDI part:",
                         (unsigned long long)scan.painting,
                         scan.painting ? "" : ": it draws nothing");
    } else {
        if (scan.format == Format::PlaceableWmf) {
            j.raw("boundingBox") += "[" + std::to_string(scan.bbox[0]) + "," +
                                    std::to_string(scan.bbox[1]) + "," +
                                    std::to_string(scan.bbox[2]) + "," +
                                    std::to_string(scan.bbox[3]) + "]";
            j.num("unitsPerInch", scan.unitsPerInch);
            if (!json)
                std::fprintf(out, "  %-14s %d,%d - %d,%d (%u units per inch)\n", "bounding box:",
                             scan.bbox[0], scan.bbox[1], scan.bbox[2], scan.bbox[3],
                             scan.unitsPerInch);
        }
        if (haveHeader) {
            const ENHMETAHEADER &h = platformHeader;
            j.rect("frame", h.rclFrame);
            if (!json)
                std::fprintf(out, "  %-14s %d,%d - %d,%d (0.01 mm, as converted)\n", "frame:",
                             h.rclFrame.left, h.rclFrame.top, h.rclFrame.right, h.rclFrame.bottom);
            device(h, "(device pixels, as converted)");
        }
        j.num("wmfVersion", scan.wmfVersion);
        j.num("objects", scan.wmfObjects);
        j.num("largestRecordWords", scan.wmfMaxRecordWords);
        j.num("records", double(scan.records));
        j.num("drawingRecords", double(scan.painting));
        j.raw("emfPlus") += "null";
        if (!json) {
            std::fprintf(out, "  %-14s version 0x%04X, %u objects, largest record %u words\n",
                         "header:", scan.wmfVersion, scan.wmfObjects, scan.wmfMaxRecordWords);
            std::fprintf(out, "  %-14s %llu, %llu of them drawing\n", "records:",
                         (unsigned long long)scan.records, (unsigned long long)scan.painting);
            std::fprintf(out, "  %-14s no\n", "EMF+:");
        }
    }

    RenderOptions natural;
    natural.dpi = dpi;
    int w = 0, h = 0;
    std::string scaled;
    const std::string sizeProblem = outputSize(natural, pic, &w, &h, &scaled);
    if (sizeProblem.empty()) {
        std::string &o = j.raw("naturalSize");
        JsonObject size(&o);
        size.num("width", w);
        size.num("height", h);
        size.num("dpi", dpi);
        if (!scaled.empty()) size.str("notice", scaled);
        size.close();
    } else {
        j.raw("naturalSize") += "null";
        j.str("naturalSizeProblem", sizeProblem);
    }
    if (json) {
    } else if (sizeProblem.empty() && !scaled.empty())
        std::fprintf(out, "  %-14s %s\n", "natural size:", scaled.c_str());
    else if (sizeProblem.empty())
        std::fprintf(out, "  %-14s %d x %d pixels at %g dpi\n", "natural size:", w, h, dpi);
    else
        std::fprintf(out, "  %-14s none: %s\n", "natural size:", sizeProblem.c_str());

    // One line per record type the player skips, with how often it occurs.
    bool anyMissing = false;
    std::string &missing = j.raw("notDrawn");
    missing += '[';
    for (const auto &[type, count] : scan.types) {
        if (recordSupport(scan, type) != Support::Missing) continue;
        if (json) {
            if (anyMissing) missing += ',';
            JsonObject rec(&missing);
            rec.str("record", recordLabel(scan, type));
            rec.num("count", double(count));
            rec.close();
        } else {
            std::fprintf(out, "  %-14s %s x%llu\n", anyMissing ? "" : "not drawn:",
                         recordLabel(scan, type).c_str(), (unsigned long long)count);
        }
        anyMissing = true;
    }
    missing += ']';
    if (!json && !anyMissing) std::fprintf(out, "  %-14s nothing\n", "not drawn:");
    std::string problem = scan.problem;
    if (problem.empty() && !accepted) problem = "the library refuses it";
    if (problem.empty()) {
        if (json) {
            j.raw("problem") += "null";
            j.close();
            std::fputs(js.c_str(), out);
        }
        return true;
    }
    if (!json) std::fprintf(out, "  %-14s %s\n", "problem:", problem.c_str());
    return fail(problem);
}

}  // namespace vellora::cli
