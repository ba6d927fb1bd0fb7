#include "fonts.h"

#include <iterator>
#include <mutex>
#include <system_error>
#include <thread>

#include "vellora.h"

namespace vellora::cli {

namespace {

std::mutex gMutex;
std::thread gLoader;
bool gStarted = false;

}  // namespace

bool drawsText(const Scan &scan) {
    // EMR_EXTTEXTOUTA/W, EMR_POLYTEXTOUTA/W, EMR_SMALLTEXTOUT; META_TEXTOUT, META_EXTTEXTOUT.
    static const uint32_t emf[] = {83, 84, 96, 97, 108};
    static const uint32_t wmf[] = {0x0521, 0x0A32};
    const uint32_t *b = scan.format == Format::Emf ? std::begin(emf) : std::begin(wmf);
    const uint32_t *e = scan.format == Format::Emf ? std::end(emf) : std::end(wmf);
    for (const uint32_t *t = b; t != e; ++t)
        if (scan.types.count(*t)) return true;
    return false;
}

void startLoadingFonts() {
    std::lock_guard<std::mutex> lock(gMutex);
    if (gStarted) return;
    gStarted = true;
    // With one core the load would only compete with the drawing.
    if (std::thread::hardware_concurrency() < 2) return;
    try {
        gLoader = std::thread(VelloraLoadFonts);
    } catch (const std::system_error &) {
        // No thread: the first text drawn loads the fonts.
    }
}

void finishLoadingFonts() {
    std::lock_guard<std::mutex> lock(gMutex);
    if (gLoader.joinable()) gLoader.join();
}

}  // namespace vellora::cli
