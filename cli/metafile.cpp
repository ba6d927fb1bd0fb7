#include "metafile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "api/geometry.h"
#include "api/call_limits.h"
#include "base/bytes.h"
#include "errors.h"
#include "player/record_walk.h"

namespace vellora::cli {

namespace {

std::string withThousands(uint64_t n) {
    std::string digits = std::to_string(n), out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string truncatedAfter(uint64_t n) { return "truncated after record " + std::to_string(n); }

constexpr uint32_t kEmrComment = 70;
constexpr uint32_t kEmfPlusId = 0x2B464D45u;  // "EMF+"
constexpr uint16_t kEmfPlusHeader = 0x4001;

// EMF+ records that paint: EmfPlusClear (0x4009) to EmfPlusDrawString
// (0x401C), and EmfPlusDrawDriverString.
bool emfPlusPaints(uint16_t type) { return (type >= 0x4009 && type <= 0x401C) || type == 0x4036; }

// The EMF+ records in one comment: type, flags, size (header included) and
// data size, 12 bytes, then the data; a size that does not fit ends the count.
void countEmfPlus(const uint8_t *p, size_t n, Scan *s) {
    while (n >= 12) {
        const uint32_t size = base::u32(p + 4);
        if (size < 12 || size > n) return;
        ++s->emfPlusRecords;
        if (emfPlusPaints(base::u16(p))) ++s->emfPlusPainting;
        p += size;
        n -= size;
    }
}

// What the library's walk met, per record.
void count(const player::WalkedRecord &r, Scan *s) {
    ++s->types[r.type];
    if (r.kind.paints) ++s->painting;
    if (s->format != Format::Emf) return;
    if (r.type == 1 && s->types[1] == 1)
        std::memcpy(&s->emf, r.data, r.size < sizeof s->emf ? r.size : sizeof s->emf);
    if (r.type == kEmrComment && r.size >= 16 && base::u32(r.data + 12) == kEmfPlusId) {
        if (!s->emfPlus && r.size >= 20 && base::u16(r.data + 16) == kEmfPlusHeader)
            s->emfPlusDual = (base::u16(r.data + 18) & 1) != 0;
        s->emfPlus = true;
        countEmfPlus(r.data + 16, r.size - 16, s);
    }
}

// The walk's end in words, and the header's fields once it is known sane.
void walk(const uint8_t *d, size_t size, Scan *s) {
    const auto visit = [s](const player::WalkedRecord &r) { count(r, s); };
    const bool emf = s->format == Format::Emf;
    const player::Walk w =
        emf ? player::walkEnhMetaFile(d, size, visit) : player::walkWinMetaFile(d, size, visit);
    s->records = w.records;
    switch (w.end) {
    case player::WalkEnd::NoHeader: return;
    case player::WalkEnd::DamagedHeader:
        s->problem = "damaged EMF header (its record claims " + std::to_string(w.claimed) +
                     " bytes of the file's " + std::to_string(size) + ")";
        return;
    case player::WalkEnd::EndRecord: s->ended = true; break;
    case player::WalkEnd::ImpossibleSize:
        s->problem = "record " + std::to_string(w.records + 1) + " has an impossible size (" +
                     std::to_string(w.claimed) + " bytes)";
        break;
    case player::WalkEnd::Truncated: s->problem = truncatedAfter(w.records); break;
    case player::WalkEnd::NoEndRecord:
        s->problem = truncatedAfter(w.records) + " (no end-of-file record)";
        break;
    }
    s->headerOk = true;
    if (emf) return;
    s->wmfVersion = base::u16(d + 4);
    s->wmfSizeWords = base::u32(d + 6);
    s->wmfObjects = base::u16(d + 10);
    s->wmfMaxRecordWords = base::u32(d + 12);
}

}  // namespace

std::string whyNothingDrawn(const Scan &scan) {
    if (scan.painting == 0 && scan.emfPlusPainting > 0)
        return "all " + withThousands(scan.emfPlusPainting) +
               " drawing records are EMF+; only the GDI part is played, and it draws nothing";
    if (scan.painting == 0) return "it has no drawing records";
    return "its " + withThousands(scan.painting) +
           " drawing records touch no pixel (outside the frame, clipped away, or of kinds "
           "`vellora info` lists as not drawn)";
}

const char *formatName(Format f) {
    switch (f) {
    case Format::Emf: return "EMF";
    case Format::PlaceableWmf: return "placeable WMF";
    case Format::Wmf: return "WMF";
    }
    return "?";
}

namespace {

// Compressed metafiles hold many similar records and inflate well, but not
// beyond this; more is a decompression bomb. Small files get some room.
constexpr uint64_t kMaxInflateRatio = 200;
constexpr uint64_t kMinInflateLimit = uint64_t(16) << 20;

// Standard input, whatever it is (a pipe, a file, a terminal), up to the
// library's file limit.
std::string readStandardInput(std::vector<uint8_t> *out) {
    std::string reason;
    uint8_t buf[1 << 16];
    for (;;) {
        const ssize_t r = ::read(STDIN_FILENO, buf, sizeof buf);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            reason = "cannot read: " + errnoText(errno);
            break;
        }
        if (r == 0) break;
        if (out->size() + size_t(r) > limits::kMaxFileBytes) {
            reason = "too large (more than the limit of " +
                     std::to_string(limits::kMaxFileBytes >> 20) + " MiB)";
            break;
        }
        try {
            out->insert(out->end(), buf, buf + r);
        } catch (const std::bad_alloc &) {
            reason = "out of memory";
            break;
        }
    }
    if (reason.empty() && out->empty()) reason = "empty file";
    if (!reason.empty()) out->clear();
    return reason;
}

// Inflates gzip data (.emz, .wmz: one or more members) into `out`, never
// beyond the library's file limit nor beyond what a metafile compresses to.
std::string gunzip(const std::vector<uint8_t> &in, std::vector<uint8_t> *out) {
    const uint64_t limit = std::min<uint64_t>(
        limits::kMaxFileBytes, std::max<uint64_t>(kMinInflateLimit, in.size() * kMaxInflateRatio));
    z_stream z{};
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) return "out of memory";
    z.next_in = const_cast<Bytef *>(in.data());
    z.avail_in = uInt(in.size());  // the file limit keeps it within 32 bits
    std::string reason;
    uint8_t buf[1 << 16];
    for (;;) {
        z.next_out = buf;
        z.avail_out = sizeof buf;
        const int rc = inflate(&z, Z_NO_FLUSH);
        const size_t got = sizeof buf - z.avail_out;
        if (out->size() + got > limit) {
            reason = limit == limits::kMaxFileBytes
                         ? "too large: it inflates to more than the limit of " +
                               std::to_string(limits::kMaxFileBytes >> 20) + " MiB"
                         : "inflates to more than " + std::to_string(kMaxInflateRatio) +
                               " times its size, which no metafile does";
            break;
        }
        try {
            out->insert(out->end(), buf, buf + got);
        } catch (const std::bad_alloc &) {
            reason = "out of memory";
            break;
        }
        if (rc == Z_STREAM_END) {
            // Another member may follow; anything else after the end is ignored.
            if (z.avail_in < 2 || z.next_in[0] != 0x1F || z.next_in[1] != 0x8B) break;
            inflateReset(&z);
        } else if (rc == Z_BUF_ERROR && z.avail_in == 0) {
            reason = "damaged gzip data: it ends early";
            break;
        } else if (rc != Z_OK) {
            reason = std::string("damaged gzip data: ") + (z.msg ? z.msg : "inflate failed");
            break;
        }
    }
    inflateEnd(&z);
    if (reason.empty() && out->empty()) reason = "empty file (gzip data that holds nothing)";
    if (!reason.empty()) out->clear();
    return reason;
}

std::string readRaw(const std::string &path, std::vector<uint8_t> *out) {
    if (path == "-") return readStandardInput(out);
    // Non-blocking, so that a FIFO given by mistake cannot hang the batch.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return "cannot open: " + errnoText(errno);
    struct stat st;
    std::string reason;
    if (::fstat(fd, &st) != 0) {
        reason = "cannot open: " + errnoText(errno);
    } else if (S_ISDIR(st.st_mode)) {
        reason = "is a directory";
    } else if (!S_ISREG(st.st_mode)) {
        reason = "not a regular file";
    } else if (st.st_size == 0) {
        reason = "empty file";
    } else if (uint64_t(st.st_size) > limits::kMaxFileBytes) {
        reason = "too large (" + std::to_string(st.st_size >> 20) + " MiB; the limit is " +
                 std::to_string(limits::kMaxFileBytes >> 20) + " MiB)";
    } else {
        try {
            out->resize(size_t(st.st_size));
        } catch (const std::bad_alloc &) {
            reason = "out of memory";
        }
        size_t got = 0;
        while (reason.empty() && got < out->size()) {
            const ssize_t r = ::read(fd, out->data() + got, out->size() - got);
            if (r < 0) {
                if (errno == EINTR) continue;
                reason = "cannot read: " + errnoText(errno);
            } else if (r == 0) {
                reason = "cannot read: the file shrank while it was read";
            } else {
                got += size_t(r);
            }
        }
    }
    ::close(fd);
    if (!reason.empty()) out->clear();
    return reason;
}

}  // namespace

std::string readWholeFile(const std::string &path, std::vector<uint8_t> *out, size_t *packed) {
    if (packed) *packed = 0;
    std::string reason = readRaw(path, out);
    if (!reason.empty() || out->size() < 2 || (*out)[0] != 0x1F || (*out)[1] != 0x8B)
        return reason;
    std::vector<uint8_t> compressed;
    compressed.swap(*out);
    if (packed) *packed = compressed.size();
    return gunzip(compressed, out);
}

Scan scanMetafile(const uint8_t *data, size_t size) {
    Scan s;
    const uint32_t size32 = size > UINT32_MAX ? UINT32_MAX : uint32_t(size);
    switch (recogniseFormat(data, size32)) {
    case MetafileFormat::Placeable:
        s.format = Format::PlaceableWmf;
        for (int i = 0; i < 4; ++i) s.bbox[i] = base::i16(data + 6 + 2 * i);
        s.unitsPerInch = base::u16(data + 14);
        walk(data + kPlaceableHeaderSize, size - kPlaceableHeaderSize, &s);
        break;
    case MetafileFormat::Enhanced:
        s.format = Format::Emf;
        walk(data, size, &s);
        break;
    case MetafileFormat::Windows:
        s.format = Format::Wmf;
        walk(data, size, &s);
        break;
    }
    return s;
}

Payload payloadOf(const Scan &scan, const std::vector<uint8_t> &bytes) {
    if (scan.format == Format::PlaceableWmf)
        return {bytes.data() + kPlaceableHeaderSize, bytes.size() - kPlaceableHeaderSize};
    return {bytes.data(), bytes.size()};
}

HENHMETAFILE makeHandle(const Scan &scan, const std::vector<uint8_t> &bytes) {
    const Payload p = payloadOf(scan, bytes);
    if (p.size > UINT32_MAX) return nullptr;
    if (scan.format == Format::Emf) return VelloraSetEnhMetaFileBits(unsigned(p.size), p.data);
    return VelloraSetWinMetaFileBits(unsigned(p.size), p.data);
}

Picture pictureOf(const Scan &scan, HENHMETAFILE handle) {
    Picture pic;
    auto fromFrame = [&pic](const RECT &f) {
        pic.frame = f;
        pic.aspect = aspectRatio(f.left, f.top, f.right, f.bottom);
        pic.widthInches = std::fabs(double(f.right) - double(f.left)) / 2540.0;
        pic.heightInches = std::fabs(double(f.bottom) - double(f.top)) / 2540.0;
    };
    switch (scan.format) {
    case Format::Emf:
        fromFrame(scan.emf.rclFrame);
        break;
    case Format::PlaceableWmf: {
        pic.aspect = aspectRatio(scan.bbox[0], scan.bbox[1], scan.bbox[2], scan.bbox[3]);
        // Units per inch of 0 is meaningless; 1440 (twips) is what writers mean most.
        const double units = scan.unitsPerInch ? scan.unitsPerInch : 1440.0;
        pic.widthInches = std::fabs(double(scan.bbox[2]) - scan.bbox[0]) / units;
        pic.heightInches = std::fabs(double(scan.bbox[3]) - scan.bbox[1]) / units;
        break;
    }
    case Format::Wmf: {
        ENHMETAHEADER h{};
        if (handle && VelloraGetEnhMetaFileHeader(handle, sizeof h, &h)) fromFrame(h.rclFrame);
        break;
    }
    }
    return pic;
}

}  // namespace vellora::cli
