// The GdkPixbuf loader as applications use it. GDK_PIXBUF_MODULE_FILE names
// a loaders cache that lists the built module and XDG_DATA_DIRS a MIME
// database with our types (the PixbufSetup test makes both).
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "desktop_fixtures.h"
#include "vellora.h"

namespace {

struct Rgba {
    int r, g, b, a;
};

Rgba pixel(GdkPixbuf *p, int x, int y) {
    const guint8 *s = gdk_pixbuf_get_pixels(p) + y * gdk_pixbuf_get_rowstride(p) +
                      x * gdk_pixbuf_get_n_channels(p);
    return {s[0], s[1], s[2], gdk_pixbuf_get_has_alpha(p) ? s[3] : 255};
}

void expectHalves(GdkPixbuf *p) {
    const int w = gdk_pixbuf_get_width(p), h = gdk_pixbuf_get_height(p);
    const Rgba left = pixel(p, w / 4, h / 2), right = pixel(p, 3 * w / 4, h / 2);
    EXPECT_TRUE(left.r == 255 && left.g == 0 && left.b == 0 && left.a == 255)
        << left.r << "," << left.g << "," << left.b << "," << left.a;
    EXPECT_TRUE(right.r == 0 && right.g == 0 && right.b == 255 && right.a == 255)
        << right.r << "," << right.g << "," << right.b << "," << right.a;
}

class Pixbuf : public ::testing::Test {
protected:
    std::string dir;

    void SetUp() override {
        ASSERT_NE(std::getenv("GDK_PIXBUF_MODULE_FILE"), nullptr);
        char tmpl[] = "/tmp/vellora-pixbuf-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        GDir *d = g_dir_open(dir.c_str(), 0, nullptr);
        for (const char *n; d && (n = g_dir_read_name(d));) g_remove((dir + "/" + n).c_str());
        if (d) g_dir_close(d);
        g_rmdir(dir.c_str());
    }
    std::string put(const std::string &name, const std::vector<uint8_t> &bytes) {
        const std::string path = dir + "/" + name;
        vdesk::writeFile(path, bytes);
        return path;
    }
};

TEST_F(Pixbuf, NaturalSizeIsThePictureAt96Dpi) {
    GError *error = nullptr;
    GdkPixbuf *p = gdk_pixbuf_new_from_file(put("a.emf", vdesk::halvesEmf()).c_str(), &error);
    ASSERT_NE(p, nullptr) << error->message;
    EXPECT_EQ(gdk_pixbuf_get_width(p), 384);
    EXPECT_EQ(gdk_pixbuf_get_height(p), 192);
    expectHalves(p);
    g_object_unref(p);
}

TEST_F(Pixbuf, AtSizeDrawsIntoTheBoxKeepingProportions) {
    GError *error = nullptr;
    GdkPixbuf *p =
        gdk_pixbuf_new_from_file_at_size(put("a.emf", vdesk::halvesEmf()).c_str(), 1000, 100, &error);
    ASSERT_NE(p, nullptr) << error->message;
    EXPECT_EQ(gdk_pixbuf_get_width(p), 200);
    EXPECT_EQ(gdk_pixbuf_get_height(p), 100);
    expectHalves(p);
    g_object_unref(p);
}

TEST_F(Pixbuf, CompressedFileOpensByItsName) {
    GError *error = nullptr;
    const auto path = put("a.emz", vdesk::gzipped(vdesk::halvesEmf()));
    GdkPixbufFormat *format = gdk_pixbuf_get_file_info(path.c_str(), nullptr, nullptr);
    ASSERT_NE(format, nullptr);
    gchar *name = gdk_pixbuf_format_get_name(format);
    EXPECT_STREQ(name, "vellora");
    g_free(name);
    GdkPixbuf *p = gdk_pixbuf_new_from_file_at_size(path.c_str(), 96, 96, &error);
    ASSERT_NE(p, nullptr) << error->message;
    EXPECT_EQ(gdk_pixbuf_get_width(p), 96);
    EXPECT_EQ(gdk_pixbuf_get_height(p), 48);
    expectHalves(p);
    g_object_unref(p);
}

// Bytes that arrive in small pieces, as from a network stream, with the
// size chosen in a size-prepared handler.
TEST_F(Pixbuf, IncrementalLoaderHonoursSizePrepared) {
    GError *error = nullptr;
    GdkPixbufLoader *loader = gdk_pixbuf_loader_new_with_mime_type("image/emf", &error);
    ASSERT_NE(loader, nullptr) << error->message;
    auto halve = +[](GdkPixbufLoader *l, int w, int h, gpointer) {
        gdk_pixbuf_loader_set_size(l, w / 2, h / 2);
    };
    g_signal_connect(loader, "size-prepared", G_CALLBACK(halve), nullptr);
    const auto bytes = vdesk::halvesEmf();
    for (size_t at = 0; at < bytes.size(); at += 7) {
        const size_t n = std::min<size_t>(7, bytes.size() - at);
        ASSERT_TRUE(gdk_pixbuf_loader_write(loader, bytes.data() + at, n, &error)) << error->message;
    }
    ASSERT_TRUE(gdk_pixbuf_loader_close(loader, &error)) << error->message;
    GdkPixbuf *p = gdk_pixbuf_loader_get_pixbuf(loader);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(gdk_pixbuf_get_width(p), 192);
    EXPECT_EQ(gdk_pixbuf_get_height(p), 96);
    expectHalves(p);
    g_object_unref(loader);
}

TEST_F(Pixbuf, BrokenFileIsAnErrorWithTheReason) {
    GError *error = nullptr;
    GdkPixbuf *p =
        gdk_pixbuf_new_from_file_at_size(put("b.emf", vdesk::brokenEmf()).c_str(), 64, 64, &error);
    EXPECT_EQ(p, nullptr);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->domain, GDK_PIXBUF_ERROR);
    EXPECT_STREQ(error->message, VelloraStatusMessage(VELLORA_ERROR_FORMAT));
    g_error_free(error);
}

// Gzip data far beyond what a metafile compresses to is refused before it
// is all inflated.
TEST_F(Pixbuf, DecompressionBombIsRefused) {
    auto bytes = vdesk::halvesEmf();
    bytes.resize(bytes.size() + (16u << 20), 0);
    GError *error = nullptr;
    GdkPixbuf *p =
        gdk_pixbuf_new_from_file(put("bomb.emz", vdesk::gzipped(bytes)).c_str(), &error);
    EXPECT_EQ(p, nullptr);
    ASSERT_NE(error, nullptr);
    EXPECT_NE(std::string(error->message).find("200 times"), std::string::npos) << error->message;
    g_error_free(error);
}

}  // namespace
