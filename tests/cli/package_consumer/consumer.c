/* Built against an installed vellora: draws a filled square through the
 * public API and checks the results a host relies on. */
#include <stdio.h>
#include <string.h>
#include <vellora.h>

static void put32(unsigned char *p, uint32_t v) {
    p[0] = (unsigned char)v, p[1] = (unsigned char)(v >> 8);
    p[2] = (unsigned char)(v >> 16), p[3] = (unsigned char)(v >> 24);
}

int main(void) {
    /* An EMF: header, a red brush selected, a rectangle, EOF. */
    unsigned char emf[108 + 24 + 12 + 24 + 20];
    uint32_t n = 0;
    memset(emf, 0, sizeof emf);
    put32(emf + 0, 1), put32(emf + 4, 108);
    put32(emf + 16, 0), put32(emf + 20, 0), put32(emf + 24, 0), put32(emf + 28, 0);
    put32(emf + 32, 2540), put32(emf + 36, 2540); /* frame: one inch square */
    put32(emf + 40, 0x464D4520u), put32(emf + 44, 0x10000u);
    put32(emf + 48, sizeof emf), put32(emf + 52, 5);
    emf[56] = 2; /* handles */
    put32(emf + 72, 1000), put32(emf + 76, 1000), put32(emf + 80, 100), put32(emf + 84, 100);
    n = 108;
    put32(emf + n, 39), put32(emf + n + 4, 24), put32(emf + n + 8, 1), put32(emf + n + 16, 0xFF);
    n += 24;
    put32(emf + n, 37), put32(emf + n + 4, 12), put32(emf + n + 8, 1);
    n += 12;
    put32(emf + n, 43), put32(emf + n + 4, 24), put32(emf + n + 16, 254), put32(emf + n + 20, 254);
    n += 24;
    put32(emf + n, 14), put32(emf + n + 4, 20), put32(emf + n + 12, 16), put32(emf + n + 16, 20);

    uint32_t pixels[40 * 40];
    for (int i = 0; i < 40 * 40; ++i) pixels[i] = 0xFF00FF00u; /* opaque green */
    HDC dc = VelloraCreateBitmapDC(pixels, 40, 40, 40 * 4);
    HENHMETAFILE mf = VelloraSetEnhMetaFileBits(sizeof emf, emf);
    ENHMETAHEADER header;
    RECT target = {5, 5, 34, 34};
    int failures = 0;

    if (!dc || !mf) {
        fprintf(stderr, "no device context or metafile handle\n");
        return 1;
    }
    if (VelloraGetEnhMetaFileHeader(mf, sizeof header, &header) != sizeof header ||
        header.rclFrame.right != 2540) {
        fprintf(stderr, "header not reported\n");
        ++failures;
    }
    if (Vellora(dc, mf, &target, 255, 0.0, 0, 0, 1, 1) != 1) {
        fprintf(stderr, "Vellora failed\n");
        ++failures;
    }
    if (pixels[0] != 0xFF00FF00u || pixels[39 * 40 + 39] != 0xFF00FF00u) {
        fprintf(stderr, "pixels outside the rectangle changed\n");
        ++failures;
    }
    if (VelloraSetEnhMetaFileBits(5, (const unsigned char *)"hello") != NULL) {
        fprintf(stderr, "text taken for a metafile\n");
        ++failures;
    }
    VelloraDeleteEnhMetaFile(mf);
    VelloraDeleteDC(dc);
    if (VelloraLiveObjects() != 0) {
        fprintf(stderr, "%ld objects left alive\n", VelloraLiveObjects());
        ++failures;
    }
    if (failures == 0) printf("ok\n");
    return failures ? 1 : 0;
}
