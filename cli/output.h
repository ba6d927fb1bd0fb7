// Writing a rendered picture: PNG encoding and atomic placement of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "colour.h"

namespace vellora::cli {

// zlib level 6 is libpng's own default. Rows go unfiltered unless asked:
// on the corpus at 800 x 600, libpng's adaptive filters gave files 12% larger
// and took twice as long, since rendered pictures are mostly flat colour and
// transparency, where the filters' differences compress worse than the runs.
struct PngSettings {
    int zlibLevel = 6;             // 0-9
    bool adaptiveFilters = false;  // libpng picks each row's filter
    double dpi = 96;               // recorded in the pHYs chunk
};

// Encodes w x h premultiplied BGRA pixels (rows `stride` bytes apart, top
// first) into `f` through libpng. Over a transparent `background` the PNG is
// RGBA with the colours un-premultiplied; over an opaque one it is RGB; over a
// translucent one RGBA of the two composited. Colours round to nearest.
// Returns an empty string on success, else the reason.
std::string encodePng(std::FILE *f, const uint8_t *bgra, int w, int h, size_t stride,
                      const Colour &background, const PngSettings &settings);

// min(255, c * 255 / a) rounded to nearest; 0 where a is 0.
uint8_t unpremultiply(uint8_t c, uint8_t a);

// A file that appears under its name only when complete: written into a
// temporary file in the same directory and renamed into place.
class AtomicFile {
public:
    AtomicFile() = default;
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;
    ~AtomicFile();  // removes the temporary file unless committed

    // Creates the temporary file for `path`; empty string or the reason.
    std::string open(const std::string &path);
    std::FILE *stream() { return stream_; }

    enum class Commit { Done, Exists, Error };
    // Moves the file into place. Without `replace` an existing file is left
    // alone and Exists returned. On Error, *reason says why.
    Commit commit(bool replace, std::string *reason);

private:
    std::string path_, temp_;
    std::FILE *stream_ = nullptr;
};

// The permission bits new files get (0666 less the umask); call once at start.
void captureUmask();

}  // namespace vellora::cli
