// The command's PNG step alone: every metafile given (files, or the .emf, .wmf
// and .apm files under directories) is drawn once into a WIDTH x HEIGHT bitmap
// over transparency, then encoded RUNS times to a sink that only counts bytes.
// Prints each file's bytes and median encode time, then the totals. With
// --against-libpng (over transparency only) each picture is also written by
// libpng at all its defaults, and the files the command writes larger are
// counted.
//   vellora_png_bench [--size WxH] [--runs N] [--level N] [--filters] [--background white]
//                     [--against-libpng] PATH...
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <png.h>

#include "output.h"
#include "vellora.h"

namespace fs = std::filesystem;
using namespace vellora::cli;

namespace {

ssize_t countBytes(void *cookie, const char *, size_t n) {
    *static_cast<size_t *>(cookie) += n;
    return ssize_t(n);
}

std::vector<std::string> metafilesUnder(const std::vector<std::string> &paths) {
    std::vector<std::string> out;
    for (const std::string &p : paths) {
        if (!fs::is_directory(p)) {
            out.push_back(p);
            continue;
        }
        for (const auto &e : fs::recursive_directory_iterator(p)) {
            std::string ext = e.path().extension().string();
            for (char &c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
            if (e.is_regular_file() && (ext == ".emf" || ext == ".wmf" || ext == ".apm"))
                out.push_back(e.path().string());
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

// Bytes libpng writes for the picture at all its defaults (adaptive
// filters, zlib's default level), from the same straight-alpha RGBA rows.
size_t libpngDefaultBytes(const uint32_t *bits, int w, int h) {
    std::vector<uint8_t> rgba(size_t(w) * size_t(h) * 4);
    for (size_t i = 0; i < size_t(w) * size_t(h); ++i) {
        const uint32_t p = bits[i];
        const uint8_t a = uint8_t(p >> 24);
        rgba[4 * i + 0] = unpremultiply(uint8_t(p >> 16), a);
        rgba[4 * i + 1] = unpremultiply(uint8_t(p >> 8), a);
        rgba[4 * i + 2] = unpremultiply(uint8_t(p), a);
        rgba[4 * i + 3] = a;
    }
    size_t bytes = 0;
    std::FILE *sink = fopencookie(&bytes, "wb", cookie_io_functions_t{nullptr, countBytes, nullptr, nullptr});
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(sink);
        return 0;
    }
    png_init_io(png, sink);
    png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < h; ++y) png_write_row(png, rgba.data() + size_t(y) * size_t(w) * 4);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fflush(sink);
    std::fclose(sink);
    return bytes;
}

}  // namespace

int main(int argc, char **argv) {
    int w = 800, h = 600, runs = 7;
    PngSettings settings;
    Colour background{0, 0, 0, 0};
    std::vector<std::string> paths;
    bool againstLibpng = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--against-libpng") {
            againstLibpng = true;
            continue;
        }
        if (a == "--size" && i + 1 < argc && std::sscanf(argv[i + 1], "%dx%d", &w, &h) == 2) ++i;
        else if (a == "--runs" && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--level" && i + 1 < argc) settings.zlibLevel = std::atoi(argv[++i]);
        else if (a == "--filters") settings.adaptiveFilters = true;
        else if (a == "--background" && i + 1 < argc && std::strcmp(argv[i + 1], "white") == 0) {
            background = Colour{255, 255, 255, 255};
            ++i;
        } else paths.push_back(a);
    }
    if (paths.empty() || w < 1 || h < 1) {
        std::fprintf(stderr, "usage: vellora_png_bench [--size WxH] [--runs N] [--level N] "
                             "[--filters] [--background white] [--against-libpng] PATH...\n");
        return 2;
    }
    std::vector<uint32_t> bits(size_t(w) * size_t(h));
    HDC dc = VelloraCreateBitmapDC(bits.data(), w, h, 4 * w);
    const RECT rect{0, 0, w - 1, h - 1};
    size_t totalBytes = 0, libpngBytes = 0, excess = 0;
    double totalMs = 0;
    int files = 0, larger = 0;
    againstLibpng = againstLibpng && background.a == 0;
    for (const std::string &path : metafilesUnder(paths)) {
        std::fill(bits.begin(), bits.end(), 0u);
        if (!VelloraFile(dc, path.c_str(), &rect, 255, 0, 0.0)) {
            std::printf("%-60s not drawn\n", path.c_str());
            continue;
        }
        std::vector<double> ms;
        size_t bytes = 0;
        for (int r = 0; r < runs; ++r) {
            bytes = 0;
            std::FILE *sink = fopencookie(&bytes, "wb", cookie_io_functions_t{nullptr, countBytes, nullptr, nullptr});
            const auto t0 = std::chrono::steady_clock::now();
            const std::string err = encodePng(sink, reinterpret_cast<const uint8_t *>(bits.data()), w, h,
                                              size_t(w) * 4, background, settings);
            std::fflush(sink);
            const auto t1 = std::chrono::steady_clock::now();
            std::fclose(sink);
            if (!err.empty()) {
                std::fprintf(stderr, "%s: %s\n", path.c_str(), err.c_str());
                return 1;
            }
            ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        }
        std::nth_element(ms.begin(), ms.begin() + ms.size() / 2, ms.end());
        const double median = ms[ms.size() / 2];
        if (againstLibpng) {
            const size_t reference = libpngDefaultBytes(bits.data(), w, h);
            libpngBytes += reference;
            if (bytes > reference) ++larger, excess += bytes - reference;
            std::printf("%-60s %9zu bytes %8.3f ms  libpng %9zu%s\n", path.c_str(), bytes, median, reference,
                        bytes > reference ? "  larger" : "");
        } else {
            std::printf("%-60s %9zu bytes %8.3f ms\n", path.c_str(), bytes, median);
        }
        totalBytes += bytes;
        totalMs += median;
        ++files;
    }
    VelloraDeleteDC(dc);
    std::printf("total: %d files, %zu bytes, %.1f ms (sum of per-file medians of %d runs)\n", files,
                totalBytes, totalMs, runs);
    if (againstLibpng)
        std::printf("libpng's defaults: %zu bytes; larger than libpng's: %d files, by %zu bytes in all\n",
                    libpngBytes, larger, excess);
    return 0;
}
