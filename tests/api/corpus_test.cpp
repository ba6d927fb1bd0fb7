// Every real-world and malformed file we have, through the file export: the
// result may be 0 or 1, but the call must return, leave nothing alive and
// touch nothing outside its rectangle. Under the sanitizer build this is
// where over-reads show.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "support/host.h"

namespace {

void collect(const std::string &dir, std::vector<std::string> *out) {
    DIR *d = opendir(dir.c_str());
    if (!d) return;
    while (dirent *e = readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        const std::string path = dir + "/" + name;
        struct stat st;
        if (stat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) collect(path, out);
        else if (name.size() > 4 && (name.find(".emf") != std::string::npos ||
                                     name.find(".wmf") != std::string::npos ||
                                     name.find(".WMF") != std::string::npos ||
                                     name.find(".EMF") != std::string::npos))
            out->push_back(path);
    }
    closedir(d);
}

}  // namespace

TEST(Corpus, EveryFileReturnsAndStaysInsideItsRectangle) {
    std::vector<std::string> files;
    collect(VELLORA_CORPUS_DIR, &files);
    if (files.empty()) GTEST_SKIP() << "no corpus at " << VELLORA_CORPUS_DIR;
    const long before = vtest::liveGraphicsObjects();
    int drawn = 0;
    for (const std::string &f : files) {
        vtest::HostCanvas canvas(72, 56, 0xFF336699u);
        const RECT r{4, 4, 67, 51};
        drawn += VelloraFile(canvas.dc(), f.c_str(), &r, 255, 1, 0.7);
        for (int y = 0; y < 56; ++y)
            for (int x = 0; x < 72; ++x)
                if (x < 4 || x > 67 || y < 4 || y > 51) {
                    ASSERT_EQ(canvas.at(x, y), 0xFF336699u) << f;
                }
    }
    EXPECT_EQ(vtest::liveGraphicsObjects(), before);
    // Most of the corpus is well-formed; the loader must accept it.
    EXPECT_GT(drawn, int(files.size()) / 2);
}
#endif
