#include "output.h"

#include <fcntl.h>
#include <zlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "errors.h"

namespace vellora::cli {

namespace {

mode_t gFileMode = 0644;


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
        const UnpremultiplyTable &t = unpremultiplyTable();
        for (int x = 0; x < w; ++x, src += 4, dst += 4) {
            const uint8_t *u = t.v[src[3]];
            dst[0] = u[src[2]];
            dst[1] = u[src[1]];
            dst[2] = u[src[0]];
            dst[3] = src[3];
        }
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

// The PNG is written here rather than through libpng so that its image data
// can be deflated by several threads: the rows are cut into strips of about
// kStripBytes, each strip is deflated on its own, primed with the 32 KiB of
// rows before it so that it compresses as well as one stream would, and the
// strips are joined into one zlib stream. The strips do not depend on the
// number of threads, so neither do the bytes of the file.
constexpr size_t kStripBytes = size_t(256) << 10;
constexpr size_t kWindow = 32768;

void put32(uint8_t *p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

bool writeChunk(std::FILE *f, const char *type, const uint8_t *data, size_t n) {
    uint8_t head[8], tail[4];
    put32(head, uint32_t(n));
    std::memcpy(head + 4, type, 4);
    uLong crc = crc32(0L, head + 4, 4);
    if (n) crc = crc32_z(crc, data, n);
    put32(tail, uint32_t(crc));
    return std::fwrite(head, 1, 8, f) == 8 && (n == 0 || std::fwrite(data, 1, n, f) == n) &&
           std::fwrite(tail, 1, 4, f) == 4;
}

struct Image {
    const uint8_t *bgra;
    int w, h;
    size_t stride, rowBytes;  // rowBytes: the filter byte and the converted pixels
    Colour background;
};

struct Strip {
    int first = 0, end = 0;  // rows [first, end)
    std::vector<uint8_t> data;
    uLong adler = 1;
    size_t rawBytes = 0;
    bool ok = false;
};

void convertPngRow(const Image &im, int y, uint8_t *dst) {
    dst[0] = 0;  // filter type None
    convertRow(im.bgra + size_t(y) * im.stride, dst + 1, im.w, im.background);
}

// A raw deflate stream kept for the strips one thread deflates: setting one
// up allocates and clears a few hundred kilobytes.
struct Deflater {
    z_stream z;
    bool ready = false;
    Deflater() { std::memset(&z, 0, sizeof z); }
    Deflater(const Deflater &) = delete;
    Deflater &operator=(const Deflater &) = delete;
    ~Deflater() {
        if (ready) deflateEnd(&z);
    }
    bool start(int level) {
        if (ready) return deflateReset(&z) == Z_OK;
        ready = deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
        return ready;
    }
};

// Deflates one strip; never throws.
void deflateStrip(const Image &im, int level, bool last, Strip *s, Deflater *d) {
    s->ok = false;
    if (!d->start(level)) return;
    z_stream &z = d->z;
    bool ok = true;
    try {
        std::vector<uint8_t> row(im.rowBytes);
        if (s->first > 0) {
            // The window the stream would have: the last 32 KiB of the rows before.
            const size_t rowsBack = std::min<size_t>(size_t(s->first), (kWindow + im.rowBytes - 1) / im.rowBytes);
            std::vector<uint8_t> window(rowsBack * im.rowBytes);
            for (size_t i = 0; i < rowsBack; ++i)
                convertPngRow(im, s->first - int(rowsBack) + int(i), window.data() + i * im.rowBytes);
            const size_t n = std::min(kWindow, window.size());
            ok = deflateSetDictionary(&z, window.data() + window.size() - n, uInt(n)) == Z_OK;
        }
        s->data.clear();
        s->data.reserve(size_t(s->end - s->first) * im.rowBytes / 8 + 64);
        s->adler = adler32(0L, nullptr, 0);
        s->rawBytes = 0;
        uint8_t buf[65536];
        for (int y = s->first; ok && y < s->end; ++y) {
            convertPngRow(im, y, row.data());
            s->adler = adler32_z(s->adler, row.data(), row.size());
            s->rawBytes += row.size();
            const bool final = y + 1 == s->end;
            z.next_in = row.data();
            z.avail_in = uInt(row.size());
            const int flush = final ? (last ? Z_FINISH : Z_SYNC_FLUSH) : Z_NO_FLUSH;
            do {
                z.next_out = buf;
                z.avail_out = sizeof buf;
                const int rc = deflate(&z, flush);
                if (rc == Z_STREAM_ERROR) {
                    ok = false;
                    break;
                }
                s->data.insert(s->data.end(), buf, buf + (sizeof buf - z.avail_out));
            } while (z.avail_out == 0 || z.avail_in > 0);
        }
    } catch (const std::bad_alloc &) {
        ok = false;
    }
    s->ok = ok;
}

}  // namespace

uint8_t unpremultiply(uint8_t c, uint8_t a) { return unpremultiplyTable().v[a][c]; }

std::string encodePng(std::FILE *f, const uint8_t *bgra, int w, int h, size_t stride,
                      const Colour &background, const PngSettings &settings) {
    const bool opaque = background.a == 255;
    const size_t channels = opaque ? 3 : 4;
    const Image im{bgra, w, h, stride, 1 + size_t(w) * channels, background};
    const int level = std::clamp(settings.zlibLevel, 0, 9);
    const int rowsPerStrip = int(std::max<size_t>(1, kStripBytes / im.rowBytes));
    const int strips = (h + rowsPerStrip - 1) / rowsPerStrip;
    const unsigned threads = std::max(1u, std::min(settings.threads, unsigned(strips)));
    const auto writeFailed = [] { return "cannot write the PNG: " + errnoText(errno); };

    static const uint8_t signature[8] = {137, 'P', 'N', 'G', '\r', '\n', 26, '\n'};
    uint8_t ihdr[13];
    put32(ihdr, uint32_t(w));
    put32(ihdr + 4, uint32_t(h));
    ihdr[8] = 8;                // bits per channel
    ihdr[9] = opaque ? 2 : 6;   // RGB or RGBA
    ihdr[10] = ihdr[11] = ihdr[12] = 0;  // deflate, adaptive filtering, no interlace
    if (std::fwrite(signature, 1, 8, f) != 8 || !writeChunk(f, "IHDR", ihdr, sizeof ihdr))
        return writeFailed();

    // The zlib header: a 32 KiB window and the level class, checked modulo 31.
    const uint8_t cmf = 0x78;
    const uint8_t flevel = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
    uint8_t flg = uint8_t(flevel << 6);
    flg = uint8_t(flg + (31 - (cmf * 256 + flg) % 31) % 31);
    uLong adler = adler32(0L, nullptr, 0);

    std::vector<Strip> batch;
    std::vector<Deflater> deflaters;
    try {
        batch.resize(threads);
        deflaters = std::vector<Deflater>(threads);
    } catch (const std::bad_alloc &) {
        return "out of memory";
    }
    bool first = true;
    for (int base = 0; base < strips; base += int(threads)) {
        const int n = std::min(int(threads), strips - base);
        for (int i = 0; i < n; ++i) {
            batch[size_t(i)].first = (base + i) * rowsPerStrip;
            batch[size_t(i)].end = std::min(h, (base + i + 1) * rowsPerStrip);
        }
        std::vector<std::thread> helpers;
        try {
            for (int i = 1; i < n; ++i) {
                Strip *s = &batch[size_t(i)];
                Deflater *d = &deflaters[size_t(i)];
                const bool last = base + i + 1 == strips;
                helpers.emplace_back([&im, level, last, s, d] { deflateStrip(im, level, last, s, d); });
            }
        } catch (const std::exception &) {
            // Fewer threads: what was not started is deflated here.
        }
        deflateStrip(im, level, base + 1 == strips, &batch[0], &deflaters[0]);
        for (std::thread &t : helpers) t.join();
        for (int i = int(helpers.size()) + 1; i < n; ++i)
            deflateStrip(im, level, base + i + 1 == strips, &batch[size_t(i)], &deflaters[size_t(i)]);
        for (int i = 0; i < n; ++i) {
            Strip &s = batch[size_t(i)];
            if (!s.ok) return "out of memory";
            adler = adler32_combine(adler, s.adler, z_off_t(s.rawBytes));
            if (first) {
                // The zlib header goes before the first strip's data, in the same chunk.
                s.data.insert(s.data.begin(), {cmf, flg});
                first = false;
            }
            if (base + i + 1 == strips) {
                uint8_t trailer[4];
                put32(trailer, uint32_t(adler));
                s.data.insert(s.data.end(), trailer, trailer + 4);
            }
            if (!writeChunk(f, "IDAT", s.data.data(), s.data.size())) return writeFailed();
        }
    }
    if (!writeChunk(f, "IEND", nullptr, 0)) return writeFailed();
    return {};
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
