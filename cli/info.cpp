#include "info.h"

#include <cmath>
#include <vector>

#include "metafile.h"
#include "records.h"
#include "render.h"

namespace vellora::cli {

namespace {

std::string recordLabel(const Scan &scan, uint32_t type) {
    const RecordKind k = scan.format == Format::Emf ? emfRecord(type) : wmfRecord(uint16_t(type));
    if (k.name) return k.name;
    char buf[48];
    std::snprintf(buf, sizeof buf, scan.format == Format::Emf ? "unknown type %u" : "unknown 0x%04X",
                  type);
    return buf;
}

Support recordSupport(const Scan &scan, uint32_t type) {
    return scan.format == Format::Emf ? emfRecord(type).support
                                      : wmfRecord(uint16_t(type)).support;
}

void printRect(std::FILE *out, const char *label, const RECT &r, const char *unit) {
    std::fprintf(out, "  %-14s %d,%d - %d,%d %s\n", label, r.left, r.top, r.right, r.bottom, unit);
}

}  // namespace

bool describeFile(const std::string &path, double dpi, std::FILE *out, bool *separate) {
    std::vector<uint8_t> bytes;
    size_t packed = 0;
    const std::string reason = readWholeFile(path, &bytes, &packed);
    if (!reason.empty()) {
        std::fprintf(stderr, "vellora: %s: %s\n", path.c_str(), reason.c_str());
        return false;
    }
    const Scan scan = scanMetafile(bytes.data(), bytes.size());
    if (!scan.headerOk) {
        std::fprintf(stderr, "vellora: %s: %s\n", path.c_str(),
                     scan.problem.empty() ? "not a metafile" : scan.problem.c_str());
        return false;
    }
    HENHMETAFILE handle = makeHandle(scan, bytes);
    const Picture pic = pictureOf(scan, handle);
    ENHMETAHEADER platformHeader{};
    const bool haveHeader =
        handle && VelloraGetEnhMetaFileHeader(handle, sizeof platformHeader, &platformHeader);
    const bool accepted = handle != nullptr;
    if (handle) VelloraDeleteEnhMetaFile(handle);

    if (*separate) std::fputc('\n', out);
    *separate = true;
    std::fprintf(out, "%s\n", path.c_str());
    std::fprintf(out, "  %-14s %s, %zu bytes", "format:", formatName(scan.format), bytes.size());
    if (packed) std::fprintf(out, " (gzip-compressed: %zu bytes)", packed);
    std::fputc('\n', out);
    if (scan.format == Format::Emf) {
        const ENHMETAHEADER &h = scan.emf;
        std::fprintf(out, "  %-14s %d,%d - %d,%d (0.01 mm; %.2f x %.2f mm)\n", "frame:",
                     h.rclFrame.left, h.rclFrame.top, h.rclFrame.right, h.rclFrame.bottom,
                     (double(h.rclFrame.right) - h.rclFrame.left) / 100.0,
                     (double(h.rclFrame.bottom) - h.rclFrame.top) / 100.0);
        printRect(out, "bounds:", h.rclBounds, "(device pixels)");
        std::fprintf(out, "  %-14s %d x %d pixels, %d x %d mm\n", "device:", h.szlDevice.cx,
                     h.szlDevice.cy, h.szlMillimeters.cx, h.szlMillimeters.cy);
        std::fprintf(out, "  %-14s %llu (the header says %u)\n", "records:",
                     (unsigned long long)scan.records, h.nRecords);
        if (!scan.emfPlus)
            std::fprintf(out, "  %-14s no\n", "EMF+:");
        else
            std::fprintf(out, "  %-14s %llu records, %llu of them drawing; %s\n", "EMF+:",
                         (unsigned long long)scan.emfPlusRecords,
                         (unsigned long long)scan.emfPlusPainting,
                         scan.emfPlusDual ? "dual (the EMF records draw the picture too)"
                                          : "EMF+ only (the native player draws none of it)");
        std::fprintf(out, "  %-14s %llu drawing records%s\n", "GDI part:",
                     (unsigned long long)scan.painting,
                     scan.painting ? "" : ": it draws nothing");
    } else {
        if (scan.format == Format::PlaceableWmf)
            std::fprintf(out, "  %-14s %d,%d - %d,%d (%u units per inch)\n", "bounding box:",
                         scan.bbox[0], scan.bbox[1], scan.bbox[2], scan.bbox[3],
                         scan.unitsPerInch);
        if (haveHeader) {
            const ENHMETAHEADER &h = platformHeader;
            std::fprintf(out, "  %-14s %d,%d - %d,%d (0.01 mm, as converted)\n", "frame:",
                         h.rclFrame.left, h.rclFrame.top, h.rclFrame.right, h.rclFrame.bottom);
            printRect(out, "bounds:", h.rclBounds, "(device pixels, as converted)");
            std::fprintf(out, "  %-14s %d x %d pixels, %d x %d mm\n", "device:", h.szlDevice.cx,
                         h.szlDevice.cy, h.szlMillimeters.cx, h.szlMillimeters.cy);
        }
        std::fprintf(out, "  %-14s version 0x%04X, %u objects, largest record %u words\n",
                     "header:", scan.wmfVersion, scan.wmfObjects, scan.wmfMaxRecordWords);
        std::fprintf(out, "  %-14s %llu, %llu of them drawing\n", "records:",
                     (unsigned long long)scan.records, (unsigned long long)scan.painting);
        std::fprintf(out, "  %-14s no\n", "EMF+:");
    }

    RenderOptions natural;
    natural.dpi = dpi;
    int w = 0, h = 0;
    std::string scaled;
    const std::string sizeProblem = outputSize(natural, pic, &w, &h, &scaled);
    if (sizeProblem.empty() && !scaled.empty())
        std::fprintf(out, "  %-14s %s\n", "natural size:", scaled.c_str());
    else if (sizeProblem.empty())
        std::fprintf(out, "  %-14s %d x %d pixels at %g dpi\n", "natural size:", w, h, dpi);
    else
        std::fprintf(out, "  %-14s none: %s\n", "natural size:", sizeProblem.c_str());

    // One line per record type the player skips, with how often it occurs.
    bool anyMissing = false;
    for (const auto &[type, count] : scan.types) {
        if (recordSupport(scan, type) != Support::Missing) continue;
        std::fprintf(out, "  %-14s %s x%llu\n", anyMissing ? "" : "not drawn:",
                     recordLabel(scan, type).c_str(), (unsigned long long)count);
        anyMissing = true;
    }
    if (!anyMissing) std::fprintf(out, "  %-14s nothing\n", "not drawn:");
    std::string problem = scan.problem;
    if (problem.empty() && !accepted) problem = "the library refuses it";
    if (problem.empty()) return true;
    std::fprintf(out, "  %-14s %s\n", "problem:", problem.c_str());
    std::fprintf(stderr, "vellora: %s: %s\n", path.c_str(), problem.c_str());
    return false;
}

}  // namespace vellora::cli
