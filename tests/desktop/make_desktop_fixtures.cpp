// make_desktop_fixtures DIR: writes halves.emf, halves.emz and broken.emf
// into DIR for the thumbnailer tests.
#include <cstdio>
#include <exception>
#include <string>

#include "desktop_fixtures.h"

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    try {
        vdesk::writeFile(dir + "/halves.emf", vdesk::halvesEmf());
        vdesk::writeFile(dir + "/halves.emz", vdesk::gzipped(vdesk::halvesEmf()));
        vdesk::writeFile(dir + "/broken.emf", vdesk::brokenEmf());
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
