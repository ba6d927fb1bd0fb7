#include "output.h"

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cmath>
#include <new>
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

struct Image {
    const uint8_t *bgra;
    int w, h;
    size_t stride;
    Colour background;
};

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

// Every libpng call, under the jump libpng takes on an error; nothing in
// this frame needs unwinding. With adaptive filters libpng tries them all on
// each row and keeps the one whose bytes look smallest.
bool writeImage(png_structp png, png_infop info, const Image &im, const PngSettings &settings,
                uint8_t *row) {
    if (setjmp(png_jmpbuf(png))) return false;
    const bool opaque = im.background.a == 255;
    png_set_IHDR(png, info, png_uint_32(im.w), png_uint_32(im.h), 8,
                 opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    const double ppm = std::round(settings.dpi / 0.0254);
    if (ppm >= 1 && ppm <= double(PNG_UINT_31_MAX))
        png_set_pHYs(png, info, png_uint_32(ppm), png_uint_32(ppm), PNG_RESOLUTION_METER);
    png_set_compression_level(png, std::clamp(settings.zlibLevel, 0, 9));
    png_set_filter(png, PNG_FILTER_TYPE_BASE, settings.adaptiveFilters ? PNG_ALL_FILTERS : PNG_FILTER_NONE);
    // IDAT chunks of 64 KiB rather than 8: fewer chunk headers, nothing else changes.
    png_set_compression_buffer_size(png, size_t(64) << 10);
    png_write_info(png, info);
    for (int y = 0; y < im.h; ++y) {
        convertRow(im.bgra + size_t(y) * im.stride, row, im.w, im.background);
        png_write_row(png, row);
    }
    png_write_end(png, info);
    return true;
}

}  // namespace

uint8_t unpremultiply(uint8_t c, uint8_t a) { return unpremultiplyTable().v[a][c]; }

std::string encodePng(std::FILE *f, const uint8_t *bgra, int w, int h, size_t stride,
                      const Colour &background, const PngSettings &settings) {
    const Image im{bgra, w, h, stride, background};
    std::vector<uint8_t> row;
    try {
        row.resize(size_t(w) * (background.a == 255 ? 3 : 4));
    } catch (const std::bad_alloc &) {
        return "out of memory";
    }
    Sink sink{f};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return "out of memory";
    }
    png_set_write_fn(png, &sink, writeBytes, flushNothing);
    const bool ok = writeImage(png, info, im, settings, row.data());
    png_destroy_write_struct(&png, &info);
    if (ok) return {};
    if (sink.writeErrno) return "cannot write the PNG: " + errnoText(sink.writeErrno);
    return std::string("cannot encode the PNG: ") + sink.message;
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
