#include "gdi/image/dib.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <limits>

#include <jpeglib.h>
#include <png.h>

#include "base/bytes.h"
#include "gdi/image/palette.h"

namespace vellora::gdi {

namespace {

uint32_t rgbWord(uint8_t r, uint8_t g, uint8_t b) { return uint32_t(r) << 16 | uint32_t(g) << 8 | b; }

// A bitfield as the platform reads it: the run of set bits starting at the
// lowest one; wider than 8 bits keeps its top 8.
struct Field {
    int shift = 0, len = 0;
    explicit Field(uint32_t mask) {
        if (!mask) return;
        while (!(mask & 1)) mask >>= 1, ++shift;
        while (mask & 1) mask >>= 1, ++len;
        if (len > 8) shift += len - 8, len = 8;
    }
    // The field scaled to 8 bits: placed in the top bits, the top bits
    // repeated once below them.
    uint32_t get(uint32_t v) const {
        static const uint32_t top[9] = {0x00, 0x80, 0xc0, 0xe0, 0xf0, 0xf8, 0xfc, 0xfe, 0xff};
        const int s = shift - (8 - len);
        v = s < 0 ? v << -s : v >> s;
        v &= top[len];
        return (v | v >> len) & 0xFF;
    }
};

uint64_t strideOf(uint64_t width, uint32_t bpp) { return ((width * bpp + 31) / 32) * 4; }

bool allocate(DibImage &out, int64_t width, int64_t height, uint64_t limit, uint32_t fill = 0) {
    if (width <= 0 || height <= 0 || uint64_t(width) * uint64_t(height) > limit) return false;
    out.width = int32_t(width);
    out.height = int32_t(height);
    out.pixels.assign(size_t(width) * size_t(height), fill);
    out.written.clear();
    return true;
}

// ------------------------------------------------------------------ RLE

// BI_RLE8 and BI_RLE4 as the platform expands them: rows from the bottom,
// runs cut at the right edge, every escape kept inside the image. Pixels no
// run reaches keep index 0 and stay unwritten.
bool decodeRle(const DibInfo &info, const uint8_t *bits, size_t size, DibImage &out) {
    if (!allocate(out, info.width, info.height, kMaxDibPixels, info.table[0])) return false;
    out.written.assign(out.pixels.size(), 0);
    const bool four = info.compression == BI_RLE4;
    const int64_t width = info.width, height = info.height;
    // Runs start on the bottom row: y counts rows from the top.
    auto put = [&](int64_t x, int64_t y, uint32_t index) {
        const size_t at = size_t(y) * size_t(width) + size_t(x);
        out.pixels[at] = info.table[index & 0xFF];
        out.written[at] = 1;
    };
    int64_t x = 0, y = height - 1;
    size_t i = 0;
    while (size >= 2 && i < size - 1) {
        const uint32_t num = bits[i], data = bits[i + 1];
        i += 2;
        if (num) {
            int64_t n = num;
            if (x + n > width) n = width - x;
            for (int64_t k = 0; k < n; ++k) {
                const uint32_t index = four ? ((k & 1) ? data & 0xF : data >> 4) : data;
                put(x + k, y, index);
            }
            x += n;
        } else if (data == 0) {  // end of line
            x = 0;
            if (--y < 0) break;
        } else if (data == 1) {  // end of bitmap
            break;
        } else if (data == 2) {  // delta
            if (i + 1 >= size) break;
            x += bits[i];
            if (x > width) x = width;
            y -= bits[i + 1];
            if (y < 0) break;
            i += 2;
        } else {  // absolute run of `data` pixels, padded to a word
            const size_t bytes = four ? (data + 1) / 2 : data;
            if (bytes > size - i) break;
            int64_t n = data;
            if (x + n > width) n = width - x;
            for (int64_t k = 0; k < n; ++k) {
                const uint32_t index = four ? ((k & 1) ? bits[i + k / 2] & 0xF : bits[i + k / 2] >> 4)
                                            : bits[i + k];
                put(x + k, y, index);
            }
            x += n;
            i += (bytes + 1) & ~size_t(1);
        }
    }
    return true;
}

// ----------------------------------------------------------------- JPEG

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

void jpegFail(j_common_ptr c) { std::longjmp(reinterpret_cast<JpegError *>(c->err)->jump, 1); }
void jpegQuiet(j_common_ptr) {}

// Progressive files can ask for thousands of scans over the same
// coefficients; a real picture has a handful.
constexpr int kMaxJpegScans = 256;
void jpegProgress(j_common_ptr c) {
    if (c->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(c)->input_scan_number > kMaxJpegScans)
        jpegFail(c);
}

// Decodes into `out`, already sized; rows decoded before an error stay.
// Only plain data lives in this frame, so the jump out of libjpeg skips no
// destructor.
bool decodeJpegRows(const uint8_t *data, size_t size, DibImage *out) {
    jpeg_decompress_struct cinfo;
    JpegError err;
    jpeg_progress_mgr progress;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = jpegFail;
    err.mgr.output_message = jpegQuiet;
    volatile int32_t rows = 0;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return rows > 0;
    }
    jpeg_create_decompress(&cinfo);
    progress.progress_monitor = jpegProgress;
    cinfo.progress = &progress;
    cinfo.mem->max_memory_to_use = 256L << 20;
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK ||
        uint64_t(cinfo.image_width) * cinfo.image_height > kMaxDibPixels ||
        cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    JSAMPARRAY line =
        (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                   cinfo.output_width * cinfo.output_components, 1);
    const int32_t w = int32_t(cinfo.output_width) < out->width ? int32_t(cinfo.output_width) : out->width;
    while (cinfo.output_scanline < cinfo.output_height) {
        const int32_t y = int32_t(cinfo.output_scanline);
        if (jpeg_read_scanlines(&cinfo, line, 1) != 1) break;
        if (y >= out->height) continue;
        const uint8_t *p = line[0];
        const int step = cinfo.output_components;
        for (int32_t x = 0; x < w; ++x, p += step) {
            const size_t at = size_t(y) * size_t(out->width) + size_t(x);
            out->pixels[at] = step >= 3 ? rgbWord(p[0], p[1], p[2]) : rgbWord(p[0], p[0], p[0]);
            out->written[at] = 1;
        }
        rows = y + 1;
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return rows > 0;
}

// ------------------------------------------------------------------ PNG

struct PngInput {
    const uint8_t *p;
    size_t left;
};

void pngRead(png_structp png, png_bytep out, size_t n) {
    auto *in = static_cast<PngInput *>(png_get_io_ptr(png));
    if (n > in->left) png_error(png, "truncated");
    std::memcpy(out, in->p, n);
    in->p += n;
    in->left -= n;
}
void pngFail(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void pngQuiet(png_structp, png_const_charp) {}

// As decodeJpegRows: rows of a non-interlaced image read before an error stay.
bool decodePngRows(const uint8_t *data, size_t size, DibImage *out, std::vector<uint32_t> *row) {
    PngInput in{data, size};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngFail, pngQuiet);
    if (!png) return false;
    png_infop pinfo = png_create_info_struct(png);
    if (!pinfo) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    volatile int32_t rows = 0;
    volatile bool interlaced = false, complete = false;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &pinfo, nullptr);
        return complete || (!interlaced && rows > 0);
    }
    png_set_read_fn(png, &in, pngRead);
    png_set_user_limits(png, 1u << 24, 1u << 24);
    png_set_chunk_cache_max(png, 256);
    png_set_chunk_malloc_max(png, 8u << 20);
    png_read_info(png, pinfo);
    const png_uint_32 w = png_get_image_width(png, pinfo), h = png_get_image_height(png, pinfo);
    if (uint64_t(w) * h > kMaxDibPixels || w == 0 || h == 0) {
        png_destroy_read_struct(&png, &pinfo, nullptr);
        return false;
    }
    const int type = png_get_color_type(png, pinfo);
    png_set_expand(png);
    png_set_strip_16(png);
    if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    png_set_bgr(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    interlaced = png_get_interlace_type(png, pinfo) != PNG_INTERLACE_NONE;
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, pinfo);
    if (png_get_rowbytes(png, pinfo) != size_t(w) * 4) {
        png_destroy_read_struct(&png, &pinfo, nullptr);
        return false;
    }
    // Interlaced images need the whole picture between passes.
    row->assign(interlaced ? size_t(w) * h : size_t(w), 0);
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < h; ++y) {
            uint32_t *line = row->data() + (interlaced ? size_t(y) * w : 0);
            png_read_row(png, reinterpret_cast<png_bytep>(line), nullptr);
            if (interlaced && pass + 1 < passes) continue;
            if (int32_t(y) < out->height) {
                const int32_t n = int32_t(w) < out->width ? int32_t(w) : out->width;
                for (int32_t x = 0; x < n; ++x) {
                    const size_t at = size_t(y) * size_t(out->width) + size_t(x);
                    const uint32_t p = line[x];  // BGRA bytes: 0xAARRGGBB
                    // Straight colour without its alpha; fully transparent
                    // pixels are left out.
                    out->pixels[at] = p & 0xFFFFFF;
                    out->written[at] = (p >> 24) != 0;
                }
            }
            rows = int32_t(y) + 1;
        }
    complete = true;
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &pinfo, nullptr);
    return true;
}

bool decodeCompressedImage(const DibInfo &info, const uint8_t *bits, size_t size, DibImage &out) {
    if (!allocate(out, info.width, info.height, kMaxDibPixels)) return false;
    out.written.assign(out.pixels.size(), 0);
    if (info.compression == BI_JPEG) return decodeJpegRows(bits, size, &out);
    std::vector<uint32_t> row;
    return decodePngRows(bits, size, &out, &row);
}

}  // namespace

bool readDibInfo(const uint8_t *info, size_t infoSize, uint32_t usage, const Palette *palette,
                 DibInfo &out) {
    out = DibInfo{};
    if (!info || infoSize < 12 || usage > DIB_PAL_INDICES) return false;
    const uint32_t headerSize = base::u32(info);
    int64_t height;
    uint32_t planes, used = 0;
    if (headerSize == 12) {
        out.core = true;
        out.width = base::u16(info + 4);
        height = base::u16(info + 6);  // unsigned: core bitmaps are bottom-up
        planes = base::u16(info + 8);
        out.bpp = base::u16(info + 10);
    } else {
        if (headerSize < 40 || headerSize > infoSize) return false;
        out.width = int32_t(base::u32(info + 4));
        height = int32_t(base::u32(info + 8));
        planes = base::u16(info + 12);
        out.bpp = base::u16(info + 14);
        out.compression = base::u32(info + 16);
        out.sizeImage = base::u32(info + 20);
        used = base::u32(info + 32);
    }
    out.headerSize = headerSize;
    out.clrUsed = used;
    if (out.width <= 0 || height == 0) return false;
    out.topDown = height < 0;
    height = height < 0 ? -height : height;
    if (height > std::numeric_limits<int32_t>::max()) return false;
    out.height = int32_t(height);

    // The formats the platform accepts.
    switch (out.compression) {
    case BI_RLE8:
    case BI_RLE4:
        if (out.topDown || !out.sizeImage) return false;
        if (out.bpp != (out.compression == BI_RLE4 ? 4u : 8u)) return false;
        break;
    case BI_JPEG:
    case BI_PNG:
        if (!out.sizeImage) return false;
        break;
    case BI_RGB:
    case BI_BITFIELDS:
        if (!planes) return false;
        if (out.bpp == 16 || out.bpp == 32) break;
        if (out.compression == BI_RGB && (out.bpp == 1 || out.bpp == 4 || out.bpp == 8 || out.bpp == 24))
            break;
        return false;
    default: return false;
    }
    if (out.compression != BI_JPEG && out.compression != BI_PNG) {
        const uint64_t stride = strideOf(uint64_t(out.width), out.bpp);
        if (stride * uint64_t(out.height) > std::numeric_limits<uint32_t>::max()) return false;
    }

    if (out.bpp == 16) out.masks[0] = 0x7C00, out.masks[1] = 0x03E0, out.masks[2] = 0x001F;
    if (out.bpp == 32) out.masks[0] = 0xFF0000, out.masks[1] = 0xFF00, out.masks[2] = 0xFF;
    if (out.compression == BI_BITFIELDS) {
        // The masks follow the 40-byte header; longer headers hold them in
        // the same place.
        if (infoSize < 52) return false;
        for (int i = 0; i < 3; ++i) out.masks[i] = base::u32(info + 40 + 4 * i);
    }
    out.keepsAlpha = out.bpp == 32 && out.compression != BI_JPEG && out.compression != BI_PNG &&
                     out.masks[0] == 0xFF0000 && out.masks[1] == 0xFF00 && out.masks[2] == 0xFF;

    if (out.bpp <= 8 && out.compression != BI_JPEG && out.compression != BI_PNG) {
        const uint32_t max = 1u << out.bpp;
        out.colors = used == 0 || used > max ? max : used;
        const size_t at = headerSize;
        const size_t room = infoSize > at ? infoSize - at : 0;
        if (usage == DIB_RGB_COLORS) {
            const size_t entry = out.core ? 3 : 4;
            // Entries past the given data are black, as the platform's
            // zero-filled table leaves them.
            const size_t given = room / entry < out.colors ? room / entry : out.colors;
            for (size_t i = 0; i < given; ++i) {
                const uint8_t *c = info + at + entry * i;
                out.table[i] = rgbWord(c[2], c[1], c[0]);
            }
            out.blackWhite = out.bpp == 1 && given >= 2 && out.table[0] == 0 && out.table[1] == 0xFFFFFF;
        } else {
            // Indices into the selected palette, taken modulo the entries
            // the palette can give, as the platform looks them up.
            if (!palette) palette = defaultPalette().get();
            const size_t count =
                palette->entries.size() < out.colors ? palette->entries.size() : out.colors;
            for (uint32_t i = 0; i < out.colors && count; ++i) {
                uint32_t index = i;
                if (usage == DIB_PAL_COLORS) {
                    if (room < 2 * (size_t(i) + 1)) break;
                    index = base::u16(info + at + 2 * i);
                }
                const ColorRef c = palette->entries[index % count];
                out.table[i] = rgbWord(uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16));
            }
        }
    }
    return true;
}

size_t packedDibHeaderSize(const DibInfo &info, uint32_t usage) {
    const size_t entry = usage == DIB_PAL_COLORS ? 2 : info.core ? 3 : 4;
    if (info.core) return 12 + (info.bpp <= 8 ? (size_t(1) << info.bpp) * entry : 0);
    size_t colors = info.clrUsed ? (info.clrUsed < 256 ? info.clrUsed : 256)
                                 : (info.bpp > 8 ? 0 : size_t(1) << info.bpp);
    const size_t masks = info.compression == BI_BITFIELDS ? 12 : 0;
    const size_t header = info.headerSize > 40 + masks ? info.headerSize : 40 + masks;
    return header + colors * entry;
}

bool decodeDibBits(const DibInfo &info, const uint8_t *bits, size_t bitsSize, DibImage &out,
                   int32_t rows) {
    out = DibImage{};
    if (!bits || !info.width || !info.height) return false;
    out.keepsAlpha = info.keepsAlpha;
    if (info.compression == BI_RLE8 || info.compression == BI_RLE4) {
        const size_t size = info.sizeImage < bitsSize ? info.sizeImage : bitsSize;
        return decodeRle(info, bits, size, out);
    }
    if (info.compression == BI_JPEG || info.compression == BI_PNG) {
        const size_t size = info.sizeImage < bitsSize ? info.sizeImage : bitsSize;
        return decodeCompressedImage(info, bits, size, out);
    }

    const int64_t height = rows > 0 ? rows : info.height;
    const uint64_t stride = strideOf(uint64_t(info.width), info.bpp);
    if (stride * uint64_t(height) > bitsSize) return false;
    if (!allocate(out, info.width, height, kMaxDibPixels)) return false;

    const Field red(info.masks[0]), green(info.masks[1]), blue(info.masks[2]);
    const bool rgb555 = info.bpp == 16 && info.compression == BI_RGB;
    const int64_t width = info.width;
    for (int64_t y = 0; y < height; ++y) {
        const uint8_t *row = bits + stride * uint64_t(info.topDown ? y : height - 1 - y);
        uint32_t *dst = out.pixels.data() + size_t(y) * size_t(width);
        switch (info.bpp) {
        case 1:
            for (int64_t x = 0; x < width; ++x) dst[x] = info.table[row[x >> 3] >> (7 - (x & 7)) & 1];
            break;
        case 4:
            for (int64_t x = 0; x < width; ++x) dst[x] = info.table[row[x >> 1] >> ((x & 1) ? 0 : 4) & 0xF];
            break;
        case 8:
            for (int64_t x = 0; x < width; ++x) dst[x] = info.table[row[x]];
            break;
        case 16:
            for (int64_t x = 0; x < width; ++x) {
                const uint32_t v = base::u16(row + 2 * x);
                if (rgb555)
                    dst[x] = rgbWord(uint8_t(((v >> 7) & 0xF8) | ((v >> 12) & 7)),
                                     uint8_t(((v >> 2) & 0xF8) | ((v >> 7) & 7)),
                                     uint8_t(((v << 3) & 0xF8) | ((v >> 2) & 7)));
                else
                    dst[x] = red.get(v) << 16 | green.get(v) << 8 | blue.get(v);
            }
            break;
        case 24:
            for (int64_t x = 0; x < width; ++x) dst[x] = rgbWord(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
            break;
        case 32:
            for (int64_t x = 0; x < width; ++x) {
                const uint32_t v = base::u32(row + 4 * x);
                dst[x] = info.keepsAlpha ? v : (red.get(v) << 16 | green.get(v) << 8 | blue.get(v));
            }
            break;
        }
    }
    return true;
}

bool decodeDib(const uint8_t *info, size_t infoSize, const uint8_t *bits, size_t bitsSize,
               uint32_t usage, const Palette *palette, DibImage &out) {
    DibInfo header;
    if (!readDibInfo(info, infoSize, usage, palette, header)) return false;
    return decodeDibBits(header, bits, bitsSize, out);
}

bool decodeBrushPattern(const uint8_t *info, size_t infoSize, const uint8_t *bits, size_t bitsSize,
                        uint32_t usage, const Palette *palette, bool monoBrush, Pattern &out) {
    DibInfo header;
    const uint32_t tableUsage = monoBrush && usage == DIB_PAL_INDICES ? DIB_RGB_COLORS : usage;
    if (!readDibInfo(info, infoSize, tableUsage, palette, header)) return false;
    if (header.compression != BI_RGB && header.compression != BI_BITFIELDS) return false;
    if (uint64_t(header.width) * uint64_t(header.height) > kMaxPatternPixels) return false;
    if (monoBrush && usage == DIB_PAL_INDICES && header.bpp == 1) {
        // Played as a monochrome device bitmap made from the bits as they
        // are: rows padded to 16 bits, first row on top, as a 16-bit
        // CreateBitmap takes them.
        const uint64_t stride = (uint64_t(header.width) + 15) / 16 * 2;
        if (!bits || stride * uint64_t(header.height) > bitsSize) return false;
        out.width = header.width, out.height = header.height, out.mono = true;
        out.pixels.assign(size_t(header.width) * size_t(header.height), 0);
        for (int32_t y = 0; y < header.height; ++y)
            for (int32_t x = 0; x < header.width; ++x)
                out.pixels[size_t(y) * size_t(header.width) + size_t(x)] =
                    bits[stride * uint64_t(y) + uint64_t(x >> 3)] >> (7 - (x & 7)) & 1;
        return true;
    }
    const bool mono = monoBrush && header.bpp == 1 && header.blackWhite;
    if (mono) header.table[0] = 0, header.table[1] = 1;
    DibImage image;
    if (!decodeDibBits(header, bits, bitsSize, image)) return false;
    out.width = image.width;
    out.height = image.height;
    out.mono = mono;
    out.pixels = std::move(image.pixels);  // 32-bit patterns keep their alpha byte
    return true;
}

}  // namespace vellora::gdi
