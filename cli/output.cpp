#include "output.h"

#include <fcntl.h>
#include <libdeflate.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "errors.h"

namespace vellora::cli {

namespace {

mode_t gFileMode = 0644;

// Pixels are read and written as 32-bit words below: B, G, R, A in memory.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the pixel words assume little-endian");


// min(255, (c * 255 + a / 2) / a) for every pair; the clamp covers channels
// above their alpha, which valid premultiplied data never has.
struct UnpremultiplyTable {
    uint8_t v[256][256];
    UnpremultiplyTable() {
        for (unsigned a = 0; a < 256; ++a)
            for (unsigned c = 0; c < 256; ++c) {
                const unsigned s = a ? (c * 255 + a / 2) / a : 0;
                v[a][c] = uint8_t(s > 255 ? 255 : s);
            }
    }
};

const UnpremultiplyTable &unpremultiplyTable() {
    static const UnpremultiplyTable t;
    return t;
}

void convertRow(const uint8_t *src, uint8_t *dst, int w, const Colour &bg) {
    if (bg.a == 0) {
        // Opaque and empty pixels, most of a drawing, need no table: an opaque
        // one only swaps blue and red, an empty one is all zero.
        const UnpremultiplyTable &t = unpremultiplyTable();
        const auto pixel = [&t](const uint8_t *s, uint8_t *d) {
            uint32_t p;
            std::memcpy(&p, s, 4);
            const uint32_t a = p >> 24;
            if (a == 255) {
                p = (p & 0xFF00FF00u) | (p >> 16 & 0xFFu) | (p & 0xFFu) << 16;
            } else if (a == 0) {
                p = 0;
            } else {
                const uint8_t *u = t.v[a];
                p = uint32_t(u[s[2]]) | uint32_t(u[s[1]]) << 8 | uint32_t(u[s[0]]) << 16 | a << 24;
            }
            std::memcpy(d, &p, 4);
        };
        for (int x = 0; x < w; ++x, src += 4, dst += 4) pixel(src, dst);
    } else if (bg.a == 255) {
        // Premultiplied source-over onto an opaque colour.
        for (int x = 0; x < w; ++x, src += 4, dst += 3) {
            const unsigned rest = 255u - src[3];
            dst[0] = uint8_t(std::min(255u, (src[2] * 255u + bg.r * rest + 127) / 255));
            dst[1] = uint8_t(std::min(255u, (src[1] * 255u + bg.g * rest + 127) / 255));
            dst[2] = uint8_t(std::min(255u, (src[0] * 255u + bg.b * rest + 127) / 255));
        }
    } else {
        // Source-over onto a translucent colour, then back to straight colour.
        const double ba = bg.a / 255.0;
        for (int x = 0; x < w; ++x, src += 4, dst += 4) {
            const double a = src[3] / 255.0, rest = 1.0 - a;
            const double outA = a + ba * rest;
            const auto channel = [&](uint8_t c, uint8_t b) {
                const double pre = c / 255.0 + b / 255.0 * ba * rest;
                const double v = outA > 0 ? pre / outA * 255.0 : 0.0;
                return uint8_t(std::min(255.0, std::floor(v + 0.5)));
            };
            dst[0] = channel(src[2], bg.r);
            dst[1] = channel(src[1], bg.g);
            dst[2] = channel(src[0], bg.b);
            dst[3] = uint8_t(std::floor(outA * 255.0 + 0.5));
        }
    }
}

// Row filters: the byte before each row names how its bytes are told from
// the row's left neighbours and the row above.
enum Filter : uint8_t { kNone = 0, kSub = 1, kUp = 2, kAverage = 3, kPaeth = 4 };

uint8_t paethPredictor(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return uint8_t(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// Writes `raw` filtered by `f` into `out`; `prev` is the row above (all
// zero for the first row), `bpp` the bytes of a pixel.
void filterRow(Filter f, const uint8_t *raw, const uint8_t *prev, uint8_t *out, size_t n,
               size_t bpp) {
    switch (f) {
    case kNone: std::memcpy(out, raw, n); break;
    case kSub:
        for (size_t i = 0; i < bpp && i < n; ++i) out[i] = raw[i];
        for (size_t i = bpp; i < n; ++i) out[i] = uint8_t(raw[i] - raw[i - bpp]);
        break;
    case kUp:
        for (size_t i = 0; i < n; ++i) out[i] = uint8_t(raw[i] - prev[i]);
        break;
    case kAverage:
        for (size_t i = 0; i < bpp && i < n; ++i) out[i] = uint8_t(raw[i] - (prev[i] >> 1));
        for (size_t i = bpp; i < n; ++i) out[i] = uint8_t(raw[i] - ((raw[i - bpp] + prev[i]) >> 1));
        break;
    case kPaeth:
        for (size_t i = 0; i < bpp && i < n; ++i) out[i] = uint8_t(raw[i] - prev[i]);
        for (size_t i = bpp; i < n; ++i)
            out[i] = uint8_t(raw[i] - paethPredictor(raw[i - bpp], prev[i], prev[i - bpp]));
        break;
    }
}

// libpng's measure of a filtered row: the sum of its bytes taken as signed.
uint64_t signedSum(const uint8_t *p, size_t n) {
    uint64_t s = 0;
    for (size_t i = 0; i < n; ++i) s += uint64_t(std::abs(int(int8_t(p[i]))));
    return s;
}

// Whether a row looks like a photograph's or a gradient's somewhere: more
// than a quarter of its pixels differ from their left neighbour, or 32 in a
// row do (a bitmap across part of the row). A drawing's edges change colour
// a few pixels at a time.
bool changesColourOften(const uint8_t *bgra, int w) {
    constexpr int kRun = 32;
    const size_t limit = size_t(w) / 4;
    size_t changes = 0;
    int run = 0;
    uint32_t left;
    std::memcpy(&left, bgra, 4);
    for (int x = 1; x < w; ++x) {
        uint32_t p;
        std::memcpy(&p, bgra + size_t(x) * 4, 4);
        const bool changed = p != left;
        changes += changed;
        run = changed ? run + 1 : 0;
        if (run >= kRun) return true;
        left = p;
        if ((x & 63) == 0 && changes > limit) return true;
    }
    return changes > limit;
}

// The whole image is filtered into one buffer and deflated at once by
// libdeflate, which at its levels 2 to 4 compresses rendered pictures about
// as fast as zlib at level 3 and, with the rows filtered as below, a fifth to
// a quarter smaller (docs/performance.md).
// The buffers stay with the thread for its next picture, unless large.
struct Encoder {
    // Memory that is never cleared: a fresh block's pages are touched only
    // where written, and the compressed data is small.
    struct Buffer {
        std::unique_ptr<uint8_t[]> bytes;
        size_t size = 0;
        uint8_t *data() { return bytes.get(); }
        void reserve(size_t n) {
            if (n <= size) return;
            bytes.reset();
            size = 0;
            bytes.reset(new uint8_t[n]);
            size = n;
        }
        void release() {
            bytes.reset();
            size = 0;
        }
    };
    Buffer filtered, compressed;
    std::vector<uint8_t> rows;
    libdeflate_compressor *compressor = nullptr;
    int level = -1;
    Encoder() = default;
    Encoder(const Encoder &) = delete;
    Encoder &operator=(const Encoder &) = delete;
    ~Encoder() {
        if (compressor) libdeflate_free_compressor(compressor);
    }
    void trim() {
        constexpr size_t kKeep = size_t(16) << 20;
        if (filtered.size > kKeep) filtered.release();
        if (compressed.size > kKeep) compressed.release();
        if (rows.size() > kKeep) std::vector<uint8_t>().swap(rows);
    }
};

struct Image {
    const uint8_t *bgra;
    int w, h;
    size_t stride;
    Colour background;
};

// Converts and filters every row into e.filtered. A row the same as the one
// above (on the premultiplied side, so it converts the same) goes as Up, all
// zeros (an empty row, all zeros already, unfiltered). Otherwise, by
// default, a drawing's row of flat colour and edges goes unfiltered: deflate
// finds its runs and its likeness to the rows above as they are, and
// differences of flat colour against transparency compress worse. A row
// that changes colour often (changesColourOften), a photograph's or a
// gradient's, gets the filter libpng's rule picks: the smallest sum of its
// bytes taken as signed. `everyRow` applies that rule to all rows, as
// libpng does.
void filterImage(const Image &im, bool everyRow, Encoder &e) {
    const size_t bpp = im.background.a == 255 ? 3 : 4, n = size_t(im.w) * bpp, rowBytes = 1 + n;
    // Rows are converted straight into the output; a row that gets a filter
    // is kept aside first, as the row above of the next. Then the five
    // candidates, and the row above the first, all zero.
    uint8_t *kept[2] = {e.rows.data(), e.rows.data() + n};
    uint8_t *candidate = e.rows.data() + 2 * n, *zeros = e.rows.data() + 7 * n;
    std::memset(zeros, 0, n);
    const uint8_t *prev = zeros;
    int k = 0;
    for (int y = 0; y < im.h; ++y) {
        const uint8_t *src = im.bgra + size_t(y) * im.stride;
        uint8_t *out = e.filtered.data() + size_t(y) * rowBytes;
        if (y > 0 && std::memcmp(src, src - im.stride, size_t(im.w) * 4) == 0) {
            // An empty row (all zero bytes, as it went unfiltered) repeats
            // as itself: a run of zeros across rows deflates tighter than
            // one broken by Up's filter byte.
            const uint8_t *above = out - rowBytes;
            const bool empty = above[0] == kNone && above[1] == 0 && std::memcmp(above + 1, above + 2, n - 1) == 0;
            out[0] = empty ? kNone : kUp;
            std::memset(out + 1, 0, n);
            continue;  // the row above stays what it was
        }
        convertRow(src, out + 1, im.w, im.background);
        if (!everyRow && !changesColourOften(src, im.w)) {
            out[0] = kNone;
            prev = out + 1;
            continue;
        }
        uint8_t *row = kept[k];
        k = 1 - k;
        std::memcpy(row, out + 1, n);
        Filter best = kNone;
        uint64_t bestSum = UINT64_MAX;
        for (Filter f : {kNone, kSub, kUp, kAverage, kPaeth}) {
            uint8_t *c = candidate + size_t(f) * n;
            filterRow(f, row, prev, c, n, bpp);
            const uint64_t sum = signedSum(c, n);
            if (sum < bestSum) {
                bestSum = sum;
                best = f;
            }
        }
        out[0] = best;
        if (best != kNone) std::memcpy(out + 1, candidate + size_t(best) * n, n);
        prev = row;
    }
}

// What libpng's callbacks hand back: why it gave up.
struct Sink {
    std::FILE *f;
    int writeErrno = 0;  // set when the stream refused bytes
    char message[200] = "";
};

void writeBytes(png_structp png, png_bytep data, size_t n) {
    Sink *s = static_cast<Sink *>(png_get_io_ptr(png));
    errno = 0;
    if (std::fwrite(data, 1, n, s->f) != n) {
        s->writeErrno = errno ? errno : EIO;
        png_error(png, "write failed");
    }
}

// The caller flushes the stream once the file is whole.
void flushNothing(png_structp) {}

void onError(png_structp png, png_const_charp message) {
    Sink *s = static_cast<Sink *>(png_get_error_ptr(png));
    std::snprintf(s->message, sizeof s->message, "%s", message);
    png_longjmp(png, 1);
}

// libpng's warnings concern its callers' mistakes, not the user.
void onWarning(png_structp, png_const_charp) {}

// libpng writes the signature, IHDR, pHYs and each chunk with its CRC; the
// image data, already deflated, goes in IDAT chunks of up to 1 MiB. Every
// libpng call is under the jump libpng takes on an error; nothing in this
// frame needs unwinding.
bool writeFile(png_structp png, png_infop info, const Image &im, double dpi, const uint8_t *data,
               size_t size) {
    if (setjmp(png_jmpbuf(png))) return false;
    const bool opaque = im.background.a == 255;
    png_set_IHDR(png, info, png_uint_32(im.w), png_uint_32(im.h), 8,
                 opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    const double ppm = std::round(dpi / 0.0254);
    if (ppm >= 1 && ppm <= double(PNG_UINT_31_MAX))
        png_set_pHYs(png, info, png_uint_32(ppm), png_uint_32(ppm), PNG_RESOLUTION_METER);
    png_write_info(png, info);
    constexpr size_t kChunk = size_t(1) << 20;
    static const png_byte idat[5] = "IDAT", iend[5] = "IEND";
    for (size_t at = 0; at < size; at += kChunk)
        png_write_chunk(png, idat, data + at, std::min(kChunk, size - at));
    png_write_chunk(png, iend, nullptr, 0);
    return true;
}

}  // namespace

uint8_t unpremultiply(uint8_t c, uint8_t a) { return unpremultiplyTable().v[a][c]; }

std::string encodePng(std::FILE *f, const uint8_t *bgra, int w, int h, size_t stride,
                      const Colour &background, const PngSettings &settings) {
    thread_local Encoder e;
    const Image im{bgra, w, h, stride, background};
    const size_t bpp = background.a == 255 ? 3 : 4, n = size_t(w) * bpp;
    const int level = std::clamp(settings.zlibLevel, 0, 9);
    const size_t filteredSize = (1 + n) * size_t(h);
    size_t size = 0;
    try {
        if (e.rows.size() < 8 * n) e.rows.resize(8 * n);
        e.filtered.reserve(filteredSize);
        if (e.level != level) {
            if (e.compressor) libdeflate_free_compressor(e.compressor);
            e.compressor = libdeflate_alloc_compressor(level);
            e.level = e.compressor ? level : -1;
            if (!e.compressor) return "out of memory";
        }
        filterImage(im, settings.adaptiveFilters, e);
        const size_t bound = libdeflate_zlib_compress_bound(e.compressor, filteredSize);
        e.compressed.reserve(bound);
        size = libdeflate_zlib_compress(e.compressor, e.filtered.data(), filteredSize,
                                        e.compressed.data(), bound);
    } catch (const std::bad_alloc &) {
        e.trim();
        return "out of memory";
    }
    if (size == 0) {
        e.trim();
        return "cannot encode the PNG: the compressor's bound was too small";
    }
    Sink sink{f};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        e.trim();
        return "out of memory";
    }
    png_set_write_fn(png, &sink, writeBytes, flushNothing);
    const bool ok = writeFile(png, info, im, settings.dpi, e.compressed.data(), size);
    png_destroy_write_struct(&png, &info);
    e.trim();
    if (ok) return {};
    if (sink.writeErrno) return "cannot write the PNG: " + errnoText(sink.writeErrno);
    return std::string("cannot encode the PNG: ") + sink.message;
}

AtomicFile::Commit writePng(const DrawnPicture &p, std::string *reason) {
    AtomicFile file;
    *reason = file.open(p.output);
    if (!reason->empty()) return AtomicFile::Commit::Error;
    const auto *bgra = reinterpret_cast<const uint8_t *>(p.pixels.data() + p.first);
    *reason = encodePng(file.stream(), bgra, p.w, p.h, p.stride, p.background, p.png);
    if (!reason->empty()) return AtomicFile::Commit::Error;
    return file.commit(p.replace, reason);
}

void captureUmask() {
    const mode_t m = ::umask(022);
    ::umask(m);
    gFileMode = 0666 & ~m;
}

AtomicFile::~AtomicFile() {
    if (stream_) std::fclose(stream_);
    if (!temp_.empty()) ::unlink(temp_.c_str());
}

std::string AtomicFile::open(const std::string &path) {
    path_ = path;
    const size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string pattern = dir + "." + base + ".XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back(0);
    const int fd = ::mkostemp(buf.data(), O_CLOEXEC);
    if (fd < 0) return "cannot write " + path + ": " + errnoText(errno);
    temp_ = buf.data();
    ::fchmod(fd, gFileMode);
    stream_ = ::fdopen(fd, "wb");
    if (!stream_) {
        const int e = errno;
        ::close(fd);
        return "cannot write " + path + ": " + errnoText(e);
    }
    return {};
}

AtomicFile::Commit AtomicFile::commit(bool replace, std::string *reason) {
    std::FILE *s = stream_;
    stream_ = nullptr;
    const bool flushed = std::fflush(s) == 0;
    const int flushErr = errno;
    if (std::fclose(s) != 0 || !flushed) {
        *reason = "cannot write " + path_ + ": " + errnoText(flushed ? errno : flushErr);
        return Commit::Error;
    }
    int rc;
    if (replace) {
        rc = ::rename(temp_.c_str(), path_.c_str());
    } else {
        rc = ::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, path_.c_str(), RENAME_NOREPLACE);
        if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // File systems without RENAME_NOREPLACE: a hard link fails the same way
            // when the name is taken.
            rc = ::link(temp_.c_str(), path_.c_str());
            if (rc == 0) {
                ::unlink(temp_.c_str());
            } else if (errno == EPERM || errno == EOPNOTSUPP) {
                // Nor hard links: check, then rename; a race can still replace.
                struct stat st;
                if (::lstat(path_.c_str(), &st) == 0) return Commit::Exists;
                rc = ::rename(temp_.c_str(), path_.c_str());
            }
        }
    }
    if (rc != 0) {
        if (errno == EEXIST) return Commit::Exists;
        *reason = "cannot write " + path_ + ": " + errnoText(errno);
        return Commit::Error;
    }
    temp_.clear();
    return Commit::Done;
}

}  // namespace vellora::cli
