#include "fonts.h"

#include <initializer_list>
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
    const auto any = [&](std::initializer_list<uint32_t> types) {
        for (uint32_t t : types)
            if (scan.types.count(t)) return true;
        return false;
    };
    // EMR_EXTTEXTOUTA/W, EMR_POLYTEXTOUTA/W, EMR_SMALLTEXTOUT; META_TEXTOUT, META_EXTTEXTOUT.
    return scan.format == Format::Emf ? any({83, 84, 96, 97, 108}) : any({0x0521, 0x0A32});
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
