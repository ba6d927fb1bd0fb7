// The DIB decoder and the raster-operation arithmetic, on their own: what
// the headers the platform refuses are, what compressed and partial data
// decode to, and the truth table behind every ternary operation.
#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include <jpeglib.h>
#include <png.h>

#include "bitmap_records.h"
#include "gdi/image/dib.h"
#include "gdi/image/palette.h"
#include "gdi/image/rop.h"

using namespace btest;
namespace gdi = vellora::gdi;

namespace {

bool readInfo(const std::vector<uint8_t> &info, gdi::DibInfo &out, uint32_t usage = 0) {
    return gdi::readDibInfo(info.data(), info.size(), usage, nullptr, out);
}

bool decode(const Dib &d, gdi::DibImage &out) {
    return gdi::decodeDib(d.info.data(), d.info.size(), d.bits.data(), d.bits.size(), 0, nullptr, out);
}

TEST(BitmapRopTable, EveryCodeIsItsOwnTruthTable) {
    // With D, S and P set to the columns of the truth table (D = 0xAA,
    // S = 0xCC, P = 0xF0 in each byte) the result is the code itself.
    for (int code = 0; code < 256; ++code)
        EXPECT_EQ(gdi::rop3(uint8_t(code), 0xAAAAAAAAu, 0xCCCCCCCCu, 0xF0F0F0F0u), uint32_t(code) * 0x01010101u)
            << code;
}

TEST(BitmapRopTable, DirectPathsAgreeWithTheTruthTable) {
    std::mt19937 rng(7);
    std::vector<uint32_t> d(64), s(64), p(64);
    for (int code = 0; code < 256; ++code) {
        for (size_t i = 0; i < d.size(); ++i) d[i] = rng(), s[i] = rng(), p[i] = rng();
        std::vector<uint32_t> out = d;
        gdi::applyRop(uint8_t(code), out.data(), s.data(), p.data(), out.size());
        for (size_t i = 0; i < d.size(); ++i)
            ASSERT_EQ(out[i], gdi::rop3(uint8_t(code), d[i], s[i], p[i])) << "code " << code;
    }
}

TEST(BitmapRopTable, OperandsAndBinaryEquivalents) {
    EXPECT_TRUE(gdi::ropUsesSource(gdi::ropCode(gdi::SRCCOPY)));
    EXPECT_FALSE(gdi::ropUsesPattern(gdi::ropCode(gdi::SRCCOPY)));
    EXPECT_FALSE(gdi::ropUsesSource(gdi::ropCode(gdi::PATINVERT)));
    EXPECT_TRUE(gdi::ropUsesPattern(gdi::ropCode(gdi::MERGECOPY)));
    EXPECT_FALSE(gdi::ropUsesSource(gdi::ropCode(gdi::DSTINVERT)));
    EXPECT_FALSE(gdi::ropUsesPattern(gdi::ropCode(gdi::DSTINVERT)));
    // The binary operations with the same table: R2_COPYPEN, R2_XORPEN,
    // R2_NOT, R2_BLACK, R2_WHITE.
    EXPECT_EQ(gdi::rop2FromRop3(gdi::ropCode(gdi::PATCOPY)), 13);
    EXPECT_EQ(gdi::rop2FromRop3(gdi::ropCode(gdi::PATINVERT)), 7);
    EXPECT_EQ(gdi::rop2FromRop3(gdi::ropCode(gdi::DSTINVERT)), 6);
    EXPECT_EQ(gdi::rop2FromRop3(gdi::ropCode(gdi::BLACKNESS)), 1);
    EXPECT_EQ(gdi::rop2FromRop3(gdi::ropCode(gdi::WHITENESS)), 16);
}

TEST(BitmapDecoder, HeadersThePlatformRefuses) {
    gdi::DibInfo info;
    EXPECT_FALSE(readInfo(infoHeader(0, 1, 24), info));          // no width
    EXPECT_FALSE(readInfo(infoHeader(-4, 1, 24), info));         // negative width
    EXPECT_FALSE(readInfo(infoHeader(4, 0, 24), info));          // no height
    EXPECT_FALSE(readInfo(infoHeader(4, 1, 0), info));           // no bits a pixel
    EXPECT_FALSE(readInfo(infoHeader(4, 1, 7), info));           // no such depth
    EXPECT_FALSE(readInfo(infoHeader(4, 1, 24, 3), info));       // 24-bit bitfields
    EXPECT_FALSE(readInfo(infoHeader(4, -1, 8, 1, 10), info));   // top-down RLE
    EXPECT_FALSE(readInfo(infoHeader(4, 1, 8, 1, 0), info));     // RLE without a size
    EXPECT_FALSE(readInfo(infoHeader(4, 1, 4, 1, 10), info));    // RLE8 of 4 bits
    EXPECT_FALSE(readInfo(infoHeader(4, 1, 16, 3), info));       // masks past the header
    EXPECT_FALSE(readInfo(infoHeader(4, 1, 24, 9), info));       // unknown compression
    EXPECT_FALSE(readInfo(infoHeader(4, 1, 24, 0, 0, 0, 39), info));
    std::vector<uint8_t> big = infoHeader(4, 1, 24);
    set32(big, 0, 0x40000028);  // a header larger than the data
    EXPECT_FALSE(readInfo(big, info));
    // 2^31 - 1 pixels of 32 bits a row, 2^31 - 1 rows: more than 4 GiB.
    EXPECT_FALSE(readInfo(infoHeader(0x7FFFFFFF, 0x7FFFFFFF, 32), info));
    EXPECT_FALSE(readInfo(infoHeader(4, 1, 24), info, 3));  // usage past DIB_PAL_INDICES
    EXPECT_TRUE(readInfo(infoHeader(4, 1, 24), info));
    // 2^30 - 1 rows of 4 bytes: just under 4 GiB, accepted (and left to
    // the pixel limit).
    EXPECT_TRUE(readInfo(infoHeader(4, -0x3FFFFFFF, 1), info));
    EXPECT_TRUE(info.topDown);
    EXPECT_EQ(info.height, 0x3FFFFFFF);
}

TEST(BitmapDecoder, ColourTableShorterThanItsCount) {
    // biClrUsed says 256 but the data holds two entries: the rest is black.
    Dib d = dibIndexed(3, 8, {0, 1, 200}, {0x112233, 0x445566}, 256);
    gdi::DibImage img;
    ASSERT_TRUE(decode(d, img));
    EXPECT_EQ(img.at(0, 0), 0x00112233u);
    EXPECT_EQ(img.at(1, 0), 0x00445566u);
    EXPECT_EQ(img.at(2, 0), 0u);
}

TEST(BitmapDecoder, ZeroBitfieldMasksGiveZeroChannels) {
    Dib d = dib16(1, {0xFFFF}, {0, 0x07E0, 0});
    gdi::DibImage img;
    ASSERT_TRUE(decode(d, img));
    EXPECT_EQ(img.at(0, 0), 0x0000FF00u);
}

TEST(BitmapDecoder, UncompressedDataMustHoldEveryRow) {
    Dib d = dib24(2, {1, 2, 3, 4});
    d.bits.resize(d.bits.size() - 1);
    gdi::DibImage img;
    EXPECT_FALSE(decode(d, img));
    // A band of one row decodes from the bytes of one row.
    gdi::DibInfo info;
    ASSERT_TRUE(readInfo(d.info, info));
    ASSERT_TRUE(gdi::decodeDibBits(info, d.bits.data(), 8, img, 1));
    EXPECT_EQ(img.height, 1);
    EXPECT_EQ(img.at(1, 0), 0x00000004u);  // the band's only row: the bottom one
}

TEST(BitmapDecoder, RleEscapesStayInsideTheImage) {
    // A run far past the right edge is cut; a delta below the last row ends
    // the bitmap; an absolute run longer than the data is dropped.
    const Dib d = dibRle(3, 2, false, {200, 1, 0, 2, 250, 250, 5, 2, 0, 9, 1, 2}, {0x0000FF, 0xFF0000, 0x00FF00});
    gdi::DibImage img;
    ASSERT_TRUE(decode(d, img));
    EXPECT_EQ(img.at(0, 1), 0x00FF0000u);
    EXPECT_EQ(img.at(2, 1), 0x00FF0000u);
    EXPECT_FALSE(img.wrote(0, 0));
    const Dib lying = dibRle(3, 1, false, {0, 9, 1, 2}, {0, 0xFF0000});
    ASSERT_TRUE(decode(lying, img));
    for (int x = 0; x < 3; ++x) EXPECT_FALSE(img.wrote(x, 0));
}

TEST(BitmapDecoder, RleSizeImagePastTheDataReadsOnlyTheData) {
    Dib d = dibRle(4, 1, false, {4, 1}, {0, 0xFF0000});
    set32(d.info, 20, 0x7FFFFFFF);
    gdi::DibImage img;
    ASSERT_TRUE(decode(d, img));
    EXPECT_EQ(img.at(3, 0), 0x00FF0000u);
}

TEST(BitmapDecoder, ImagesPastThePixelLimitAreNotDecoded) {
    // 2^13 x 2^12 RLE is 2^25 pixels, past kMaxDibPixels, from 2 bytes.
    const Dib d = dibRle(1 << 13, 1 << 12, false, {0, 1}, {0});
    gdi::DibImage img;
    EXPECT_FALSE(decode(d, img));
    EXPECT_TRUE(img.pixels.empty());
}

TEST(BitmapDecoder, PackedHeaderSizes) {
    gdi::DibInfo info;
    ASSERT_TRUE(readInfo(infoHeader(4, 1, 8), info));
    EXPECT_EQ(gdi::packedDibHeaderSize(info, 0), 40u + 1024u);
    EXPECT_EQ(gdi::packedDibHeaderSize(info, 1), 40u + 512u);
    std::vector<uint8_t> bf = infoHeader(4, 1, 16, 3);
    bf.resize(52, 0xFF);
    ASSERT_TRUE(readInfo(bf, info));
    EXPECT_EQ(gdi::packedDibHeaderSize(info, 0), 52u);
    ASSERT_TRUE(readInfo(infoHeader(4, 1, 32, 0, 0, 0, 124), info));
    EXPECT_EQ(gdi::packedDibHeaderSize(info, 0), 124u);
}

TEST(BitmapDecoder, BrushPatterns) {
    gdi::Pattern p;
    const Dib bw = dibIndexed(2, 1, {1, 0}, {0x000000, 0xFFFFFF});
    ASSERT_TRUE(gdi::decodeBrushPattern(bw.info.data(), bw.info.size(), bw.bits.data(), bw.bits.size(), 0,
                                        nullptr, true, p));
    EXPECT_TRUE(p.mono);
    EXPECT_EQ(p.pixels, (std::vector<uint32_t>{1, 0}));
    // Not black then white: a colour pattern even from CREATEMONOBRUSH.
    const Dib colours = dibIndexed(2, 1, {1, 0}, {0xFFFFFF, 0x000000});
    ASSERT_TRUE(gdi::decodeBrushPattern(colours.info.data(), colours.info.size(), colours.bits.data(),
                                        colours.bits.size(), 0, nullptr, true, p));
    EXPECT_FALSE(p.mono);
    EXPECT_EQ(p.pixels, (std::vector<uint32_t>{0, 0x00FFFFFF}));
    const Dib big = dibRle(4096, 2048, false, {0, 1}, {0});
    EXPECT_FALSE(gdi::decodeBrushPattern(big.info.data(), big.info.size(), big.bits.data(), big.bits.size(), 0,
                                         nullptr, false, p));
}

// ---------------------------------------------------------------- JPEG

std::vector<uint8_t> encodeJpeg(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char *out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(w), c.image_height = JDIMENSION(h);
    c.input_components = 3, c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 100, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row;
    for (int x = 0; x < w; ++x) row.push_back(r), row.push_back(g), row.push_back(b);
    while (c.next_scanline < c.image_height) {
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&c, &p, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<uint8_t> data(out, out + size);
    jpeg_destroy_compress(&c);
    std::free(out);
    return data;
}

Dib compressedDib(int w, int h, uint32_t compression, const std::vector<uint8_t> &data) {
    Dib d;
    d.info = infoHeader(w, -h, 0, compression, uint32_t(data.size()));
    d.bits = data;
    return d;
}

bool near(uint32_t a, uint32_t b, int tolerance) {
    for (int s = 0; s < 24; s += 8)
        if (std::abs(int(a >> s & 0xFF) - int(b >> s & 0xFF)) > tolerance) return false;
    return true;
}

TEST(BitmapDecoder, JpegDecodesItsPixels) {
    const Dib d = compressedDib(16, 8, gdi::BI_JPEG, encodeJpeg(16, 8, 200, 40, 90));
    gdi::DibImage img;
    ASSERT_TRUE(decode(d, img));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) {
            EXPECT_TRUE(near(img.at(x, y), 0x00C8285A, 3)) << std::hex << img.at(x, y);
            EXPECT_TRUE(img.wrote(x, y));
        }
}

TEST(BitmapDecoder, TruncatedOrLyingJpegGivesAPartialPictureOrNothing) {
    std::vector<uint8_t> data = encodeJpeg(64, 64, 10, 200, 30);
    for (size_t keep : {size_t(0), size_t(2), size_t(20), data.size() / 3, data.size() / 2}) {
        const Dib d = compressedDib(64, 64, gdi::BI_JPEG, std::vector<uint8_t>(data.begin(), data.begin() + keep));
        gdi::DibImage img;
        if (decode(d, img)) {
            EXPECT_EQ(img.width, 64);
            EXPECT_EQ(img.pixels.size(), 64u * 64u);
        }
    }
    // The header promises more than the picture has: the rest is left out.
    const Dib wide = compressedDib(20, 10, gdi::BI_JPEG, encodeJpeg(8, 8, 1, 2, 3));
    gdi::DibImage img;
    ASSERT_TRUE(decode(wide, img));
    EXPECT_TRUE(img.wrote(7, 7));
    EXPECT_FALSE(img.wrote(8, 0));
    EXPECT_FALSE(img.wrote(0, 8));
    // A frame header claiming 65000 x 65000 is refused before decoding.
    std::vector<uint8_t> huge = data;
    for (size_t i = 0; i + 8 < huge.size(); ++i)
        if (huge[i] == 0xFF && (huge[i + 1] == 0xC0 || huge[i + 1] == 0xC2)) {
            huge[i + 5] = 0xFD, huge[i + 6] = 0xE8, huge[i + 7] = 0xFD, huge[i + 8] = 0xE8;
            break;
        }
    EXPECT_FALSE(decode(compressedDib(64, 64, gdi::BI_JPEG, huge), img));
}

// ----------------------------------------------------------------- PNG

std::vector<uint8_t> encodePng(int w, int h, const std::vector<uint32_t> &rgba) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(w), image.height = png_uint_32(h);
    image.format = PNG_FORMAT_BGRA;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr);
    std::vector<uint8_t> out(size);
    png_image_write_to_memory(&image, out.data(), &size, 0, rgba.data(), 0, nullptr);
    out.resize(size);
    return out;
}

TEST(BitmapDecoder, PngDecodesColourAndLeavesTransparentPixelsOut) {
    const std::vector<uint32_t> px{0xFFFF0000, 0x00000000, 0xFF00FF00, 0x800000FF};
    const Dib d = compressedDib(2, 2, gdi::BI_PNG, encodePng(2, 2, px));
    gdi::DibImage img;
    ASSERT_TRUE(decode(d, img));
    EXPECT_EQ(img.at(0, 0), 0x00FF0000u);
    EXPECT_FALSE(img.wrote(1, 0));
    EXPECT_EQ(img.at(0, 1), 0x0000FF00u);
    EXPECT_TRUE(img.wrote(1, 1));
}

TEST(BitmapDecoder, TruncatedOrLyingPngGivesAPartialPictureOrNothing) {
    std::vector<uint32_t> px(32 * 32);
    for (size_t i = 0; i < px.size(); ++i) px[i] = 0xFF000000 | uint32_t(i * 2654435761u >> 8);
    const std::vector<uint8_t> data = encodePng(32, 32, px);
    for (size_t keep : {size_t(0), size_t(8), size_t(33), data.size() / 2, data.size() - 12}) {
        gdi::DibImage img;
        if (decode(compressedDib(32, 32, gdi::BI_PNG, std::vector<uint8_t>(data.begin(), data.begin() + keep)),
                   img)) {
            EXPECT_EQ(img.pixels.size(), 32u * 32u);
            EXPECT_TRUE(img.wrote(0, 0));
        }
    }
    // IHDR claiming 2^30 x 2^30 (CRC left wrong: refused either way).
    std::vector<uint8_t> huge = data;
    huge[16] = 0x40, huge[17] = 0, huge[18] = 0, huge[19] = 0;
    huge[20] = 0x40, huge[21] = 0, huge[22] = 0, huge[23] = 0;
    gdi::DibImage img;
    EXPECT_FALSE(decode(compressedDib(32, 32, gdi::BI_PNG, huge), img));
}

}  // namespace
