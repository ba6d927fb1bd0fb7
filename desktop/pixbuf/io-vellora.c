/*
 * io-vellora.c - a GdkPixbuf loader module for Windows metafiles (EMF, WMF,
 * placeable WMF, and their gzip-compressed forms .emz and .wmz), drawn by
 * libvellora at the size the application asks for.
 *
 * The bytes are gathered as they come; the picture is drawn once they are
 * all there, since its size and every record may depend on the whole file.
 */
#define GDK_PIXBUF_ENABLE_BACKEND
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gdk-pixbuf/gdk-pixbuf-io.h>
#include <gmodule.h>
#include <zlib.h>

#include <math.h>
#include <string.h>

#include "vellora.h"

/* What the library opens at most, and what gzip data may inflate to
 * relative to its size: metafiles compress well, but not beyond this; more
 * is a decompression bomb. */
#define MAX_BYTES ((guint64)1 << 30)
#define MAX_INFLATE_RATIO 200

/* Natural sizes come from the picture's physical size at screen resolution. */
#define NATURAL_DPI 96.0

typedef struct {
    GdkPixbufModuleSizeFunc size_func;
    GdkPixbufModulePreparedFunc prepared_func;
    GdkPixbufModuleUpdatedFunc updated_func;
    gpointer user_data;
    GByteArray *data;
} Context;

static void fail(GError **error, int code, const char *message) {
    g_set_error_literal(error, GDK_PIXBUF_ERROR, code, message);
}

static gpointer begin_load(GdkPixbufModuleSizeFunc size_func,
                           GdkPixbufModulePreparedFunc prepared_func,
                           GdkPixbufModuleUpdatedFunc updated_func, gpointer user_data,
                           GError **error) {
    Context *c = g_new0(Context, 1);
    c->size_func = size_func;
    c->prepared_func = prepared_func;
    c->updated_func = updated_func;
    c->user_data = user_data;
    c->data = g_byte_array_new();
    return c;
}

static gboolean load_increment(gpointer context, const guchar *buf, guint size, GError **error) {
    Context *c = context;
    if ((guint64)c->data->len + size > MAX_BYTES) {
        fail(error, GDK_PIXBUF_ERROR_CORRUPT_IMAGE, "the data is over 1 GiB");
        return FALSE;
    }
    g_byte_array_append(c->data, buf, size);
    return TRUE;
}

/* Inflates gzip data (one or more members) into a new array, bounded as
 * above; null with `error` set when it is damaged or too large. */
static GByteArray *gunzip(const guint8 *in, gsize size, GError **error) {
    guint64 limit = (guint64)size * MAX_INFLATE_RATIO;
    if (limit > MAX_BYTES) limit = MAX_BYTES;
    z_stream z;
    memset(&z, 0, sizeof z);
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) {
        fail(error, GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY, "out of memory");
        return NULL;
    }
    GByteArray *out = g_byte_array_new();
    z.next_in = (Bytef *)in;
    z.avail_in = (uInt)size; /* at most 1 GiB, see load_increment */
    const char *problem = NULL;
    guint8 buf[1 << 16];
    for (;;) {
        z.next_out = buf;
        z.avail_out = sizeof buf;
        const int rc = inflate(&z, Z_NO_FLUSH);
        const gsize got = sizeof buf - z.avail_out;
        if ((guint64)out->len + got > limit) {
            problem = limit == MAX_BYTES ? "the data inflates to more than 1 GiB"
                                         : "the data inflates to more than 200 times its size";
            break;
        }
        g_byte_array_append(out, buf, (guint)got);
        if (rc == Z_STREAM_END) {
            if (z.avail_in < 2 || z.next_in[0] != 0x1F || z.next_in[1] != 0x8B) break;
            inflateReset(&z);
        } else if (rc == Z_BUF_ERROR && z.avail_in == 0) {
            problem = "damaged gzip data: it ends early";
            break;
        } else if (rc != Z_OK) {
            problem = "damaged gzip data";
            break;
        }
    }
    inflateEnd(&z);
    if (!problem && out->len == 0) problem = "the gzip data holds nothing";
    if (problem) {
        fail(error, GDK_PIXBUF_ERROR_CORRUPT_IMAGE, problem);
        g_byte_array_unref(out);
        return NULL;
    }
    return out;
}

/* Shrinks w x h, keeping its proportions, to what the library draws at once. */
static void fit_limits(int *w, int *h) {
    double s = 1.0;
    if (*w > VELLORA_MAX_WIDTH) s = fmin(s, (double)VELLORA_MAX_WIDTH / *w);
    if (*h > VELLORA_MAX_HEIGHT) s = fmin(s, (double)VELLORA_MAX_HEIGHT / *h);
    const double area = ((double)*w + 1) * ((double)*h + 1);
    if (area * s * s > VELLORA_MAX_AREA) s = fmin(s, sqrt(VELLORA_MAX_AREA / area));
    if (s < 1.0) {
        *w = (int)fmax(1.0, floor(*w * s));
        *h = (int)fmax(1.0, floor(*h * s));
    }
}

/* Premultiplied BGRA, as the library draws, to GdkPixbuf's straight RGBA. */
static void to_pixbuf(const guint8 *bgra, int w, int h, GdkPixbuf *pixbuf) {
    guint8 *dst = gdk_pixbuf_get_pixels(pixbuf);
    const int dst_stride = gdk_pixbuf_get_rowstride(pixbuf);
    for (int y = 0; y < h; y++) {
        const guint8 *s = bgra + (gsize)y * w * 4;
        guint8 *d = dst + (gsize)y * dst_stride;
        for (int x = 0; x < w; x++, s += 4, d += 4) {
            const unsigned a = s[3];
            if (a == 0) {
                d[0] = d[1] = d[2] = d[3] = 0;
            } else {
                d[0] = (guint8)((s[2] * 255u + a / 2) / a);
                d[1] = (guint8)((s[1] * 255u + a / 2) / a);
                d[2] = (guint8)((s[0] * 255u + a / 2) / a);
                d[3] = (guint8)a;
            }
        }
    }
}

static gboolean draw(Context *c, const guint8 *bytes, gsize size, GError **error) {
    VelloraPicture *picture = NULL;
    int status = VelloraOpenMemory(bytes, size, &picture);
    if (status != VELLORA_OK) {
        fail(error, status == VELLORA_ERROR_MEMORY ? GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY
                                                  : GDK_PIXBUF_ERROR_CORRUPT_IMAGE,
             VelloraStatusMessage(status));
        return FALSE;
    }
    int w = 0, h = 0;
    status = VelloraPictureSize(picture, NATURAL_DPI, &w, &h);
    if (status != VELLORA_OK || w < 1 || h < 1) {
        fail(error, GDK_PIXBUF_ERROR_CORRUPT_IMAGE,
             VelloraStatusMessage(status != VELLORA_OK ? status : VELLORA_ERROR_NO_SIZE));
        VelloraClosePicture(picture);
        return FALSE;
    }
    fit_limits(&w, &h);
    /* The application may ask for another size (new_from_file_at_size, a
     * size-prepared handler); 0 x 0 means it wanted only the size. */
    if (c->size_func) c->size_func(&w, &h, c->user_data);
    if (w <= 0 || h <= 0) {
        fail(error, GDK_PIXBUF_ERROR_FAILED, "the requested size is empty");
        VelloraClosePicture(picture);
        return FALSE;
    }
    if (w > VELLORA_MAX_WIDTH || h > VELLORA_MAX_HEIGHT ||
        ((double)w + 1) * ((double)h + 1) > VELLORA_MAX_AREA) {
        fail(error, GDK_PIXBUF_ERROR_FAILED, VelloraStatusMessage(VELLORA_ERROR_SIZE));
        VelloraClosePicture(picture);
        return FALSE;
    }
    GdkPixbuf *pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, w, h);
    guint8 *bits = g_try_malloc0((gsize)w * h * 4);
    HDC dc = bits ? VelloraCreateBitmapDC(bits, w, h, w * 4) : NULL;
    if (!pixbuf || !dc) {
        fail(error, GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY, VelloraStatusMessage(VELLORA_ERROR_MEMORY));
        VelloraDeleteDC(dc);
        g_free(bits);
        if (pixbuf) g_object_unref(pixbuf);
        VelloraClosePicture(picture);
        return FALSE;
    }
    if (c->prepared_func) c->prepared_func(pixbuf, NULL, c->user_data);
    /* The whole rectangle: the size chosen above already has the picture's
     * proportions unless the application asked for others. */
    const RECT rect = {0, 0, w - 1, h - 1};
    status = VelloraDrawPicture(dc, picture, &rect, 255, 0, 0.0, 0.0, 0.0, 1.0, 1.0);
    VelloraDeleteDC(dc);
    VelloraClosePicture(picture);
    gboolean ok = status == VELLORA_OK;
    if (ok) {
        to_pixbuf(bits, w, h, pixbuf);
        if (c->updated_func) c->updated_func(pixbuf, 0, 0, w, h, c->user_data);
    } else {
        fail(error, GDK_PIXBUF_ERROR_CORRUPT_IMAGE, VelloraStatusMessage(status));
    }
    g_free(bits);
    g_object_unref(pixbuf);
    return ok;
}

static gboolean stop_load(gpointer context, GError **error) {
    Context *c = context;
    gboolean ok;
    if (c->data->len >= 2 && c->data->data[0] == 0x1F && c->data->data[1] == 0x8B) {
        GByteArray *plain = gunzip(c->data->data, c->data->len, error);
        ok = plain && draw(c, plain->data, plain->len, error);
        if (plain) g_byte_array_unref(plain);
    } else {
        ok = draw(c, c->data->data, c->data->len, error);
    }
    g_byte_array_unref(c->data);
    g_free(c);
    return ok;
}

G_MODULE_EXPORT void fill_vtable(GdkPixbufModule *module);
G_MODULE_EXPORT void fill_info(GdkPixbufFormat *info);

void fill_vtable(GdkPixbufModule *module) {
    module->begin_load = begin_load;
    module->stop_load = stop_load;
    module->load_increment = load_increment;
}

void fill_info(GdkPixbufFormat *info) {
    /* Byte patterns: ' ' must match, 'z' must be zero, 'x' is anything. */
    static GdkPixbufModulePattern signature[] = {
        /* EMF: header record type 1, " EMF" at byte 40 */
        {"\001zzzxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx EMF",
         " zzzxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx    ", 100},
        /* placeable WMF */
        {"\327\315\306\232", "    ", 100},
        /* WMF in memory or on disk: type 1 or 2, a 9-word header */
        {"\001z\011z", " z z", 80},
        {"\002z\011z", " z z", 80},
        /* .emz and .wmz; other gzip-compressed images are better matched by type */
        {"\037\213", "  ", 10},
        {NULL, NULL, 0}};
    static gchar *mime_types[] = {"image/emf", "image/x-emf", "image/wmf", "image/x-wmf",
                                  "application/x-msmetafile", "image/x-emf-compressed",
                                  "image/x-wmf-compressed", NULL};
    static gchar *extensions[] = {"emf", "wmf", "apm", "emz", "wmz", NULL};
    info->name = "vellora";
    info->signature = signature;
    info->description = "Windows metafile";
    info->mime_types = mime_types;
    info->extensions = extensions;
    info->flags = GDK_PIXBUF_FORMAT_SCALABLE | GDK_PIXBUF_FORMAT_THREADSAFE;
}
