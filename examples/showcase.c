/*
 * showcase: draws one metafile three times over a checkerboard, with the
 * library's C API, and writes the result as a PNG:
 *   left    the whole picture
 *   middle  the same, turned 20 degrees counterclockwise
 *   right   its middle half (crop window 0.25, 0.25 - 0.75, 0.75)
 * The checkerboard shows through wherever the picture leaves pixels alone.
 *
 * Usage: showcase INPUT.emf|.wmf OUTPUT.png
 */
#include <png.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <vellora.h>

enum { PANEL_W = 320, PANEL_H = 200, GAP = 24, CELL = 12 };
enum { WIDTH = 3 * PANEL_W + 4 * GAP, HEIGHT = PANEL_H + 2 * GAP };

static unsigned char *read_file(const char *path, unsigned *size) {
    FILE *f = fopen(path, "rb");
    unsigned char *data = NULL;
    long n;
    if (!f) return NULL;
    if (fseek(f, 0, SEEK_END) == 0 && (n = ftell(f)) > 0 && n < (1L << 30) &&
        fseek(f, 0, SEEK_SET) == 0 && (data = malloc((size_t)n)) != NULL) {
        if (fread(data, 1, (size_t)n, f) != (size_t)n) {
            free(data);
            data = NULL;
        } else {
            *size = (unsigned)n;
        }
    }
    fclose(f);
    return data;
}

/* A metafile handle from file bytes: placeable WMF, EMF or plain WMF. */
static HENHMETAFILE handle_from_bytes(const unsigned char *d, unsigned size) {
    if (size >= 22 && d[0] == 0xD7 && d[1] == 0xCD && d[2] == 0xC6 && d[3] == 0x9A)
        return VelloraSetWinMetaFileBits(size - 22, d + 22);
    if (size >= 44 && memcmp(d + 40, " EMF", 4) == 0) return VelloraSetEnhMetaFileBits(size, d);
    return VelloraSetWinMetaFileBits(size, d);
}

int main(int argc, char **argv) {
    static uint32_t pixels[WIDTH * HEIGHT]; /* premultiplied BGRA, 0xAARRGGBB */
    static unsigned char rgb[WIDTH * HEIGHT * 3];
    const double turn = 20 * 3.14159265358979323846 / 180;
    unsigned size = 0;
    unsigned char *data;
    HENHMETAFILE mf;
    HDC dc;
    png_image image;
    int x, y, ok = 1;

    if (argc != 3) {
        fprintf(stderr, "usage: showcase INPUT.emf|.wmf OUTPUT.png\n");
        return 2;
    }
    data = read_file(argv[1], &size);
    mf = data ? handle_from_bytes(data, size) : NULL;
    free(data);
    if (!mf) {
        fprintf(stderr, "showcase: %s: cannot read it as a metafile\n", argv[1]);
        return 1;
    }

    for (y = 0; y < HEIGHT; ++y)
        for (x = 0; x < WIDTH; ++x)
            pixels[y * WIDTH + x] = ((x / CELL + y / CELL) & 1) ? 0xFFCCCCCCu : 0xFFFFFFFFu;

    dc = VelloraCreateBitmapDC(pixels, WIDTH, HEIGHT, WIDTH * 4);
    for (x = 0; x < 3 && dc; ++x) {
        const int left = GAP + x * (PANEL_W + GAP);
        const RECT r = {left, GAP, left + PANEL_W - 1, GAP + PANEL_H - 1};
        if (x == 0) ok &= Vellora(dc, mf, &r, 255, 0.0, 0, 0, 1, 1);
        if (x == 1) ok &= Vellora(dc, mf, &r, 255, turn, 0, 0, 1, 1);
        if (x == 2) ok &= Vellora(dc, mf, &r, 255, 0.0, 0.25, 0.25, 0.75, 0.75);
    }
    VelloraDeleteDC(dc);
    VelloraDeleteEnhMetaFile(mf);
    if (!dc || !ok) {
        fprintf(stderr, "showcase: drawing failed\n");
        return 1;
    }

    /* Opaque everywhere (the checkerboard is), so premultiplied is plain RGB. */
    for (x = 0; x < WIDTH * HEIGHT; ++x) {
        rgb[3 * x + 0] = (unsigned char)(pixels[x] >> 16);
        rgb[3 * x + 1] = (unsigned char)(pixels[x] >> 8);
        rgb[3 * x + 2] = (unsigned char)pixels[x];
    }
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = WIDTH;
    image.height = HEIGHT;
    image.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&image, argv[2], 0, rgb, 0, NULL)) {
        fprintf(stderr, "showcase: %s: %s\n", argv[2], image.message);
        return 1;
    }
    return 0;
}
