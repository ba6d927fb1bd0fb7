// Files that once crashed or hung something, kept so that they never do
// again: each is drawn through the loader, every placement path included.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <dirent.h>

#include <cstdio>
#include <string>
#include <vector>

#include "api/loader.h"
#include "support/host.h"

namespace {
std::vector<uint8_t> readAll(const std::string &path) {
    std::vector<uint8_t> data;
    if (FILE *f = std::fopen(path.c_str(), "rb")) {
        uint8_t buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
        std::fclose(f);
    }
    return data;
}
}  // namespace

TEST(Regressions, EveryKeptFileDrawsWithoutHarm) {
    const std::string dir = std::string(VELLORA_TEST_DATA) + "/regressions";
    DIR *d = opendir(dir.c_str());
    ASSERT_NE(d, nullptr) << dir;
    std::vector<std::string> files;
    while (dirent *e = readdir(d))
        if (e->d_name[0] != '.' && std::string(e->d_name).find(".md") == std::string::npos)
            files.push_back(dir + "/" + e->d_name);
    closedir(d);
    const long before = vtest::liveGraphicsObjects();
    for (const std::string &f : files) {
        const std::vector<uint8_t> data = readAll(f);
        vtest::HostCanvas canvas(40, 30, 0xFF102030u);
        for (double angle : {0.0, 2.5}) {
            const RECT r{2, 2, 37, 27};
            vellora::drawMetafileData(canvas.dc(), data.data(), uint32_t(data.size()), r, 255, 1,
                                      angle);
        }
        EXPECT_EQ(canvas.at(0, 0), 0xFF102030u) << f;
    }
    EXPECT_EQ(vtest::liveGraphicsObjects(), before);
}
#endif
