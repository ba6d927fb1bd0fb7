// Writing a rendered picture: PNG encoding and atomic placement of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "colour.h"

namespace vellora::cli {

// The image data is deflated by libdeflate at `zlibLevel` (its levels follow
// zlib's scale). By default each row gets a filter chosen by a cheap rule:
// none for drawings' rows, libpng's choice for rows that change colour at
// most pixels; `adaptiveFilters` lets libpng's rule choose for every row.
// On the corpus at 800 x 600 the defaults give files smaller than libpng's
// own defaults in less time than zlib took at level 3 (docs/performance.md).
struct PngSettings {
    int zlibLevel = 4;             // 0-9
    bool adaptiveFilters = false;  // libpng's rule for every row
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

// A picture drawn and not yet written: premultiplied BGRA words, the part of
// them that is the output, and where it goes.
struct DrawnPicture {
    std::vector<uint32_t> pixels;  // a batch keeps this memory from file to file
    size_t first = 0;              // the output's top left pixel, an index into pixels
    int w = 0, h = 0;
    size_t stride = 0;             // bytes from one row of the output to the next
    Colour background;
    PngSettings png;
    std::string output;
    bool replace = false;          // an existing output is replaced
    bool pending = false;          // drawn, waiting for writePng
    bool cleared = false;          // every pixel is zero
};

// Encodes `p` into a temporary file beside its output and renames it into
// place when whole. Exists: the output existed and `replace` is not set, so
// it was left alone. Error: *reason says why, and nothing was left behind.
AtomicFile::Commit writePng(const DrawnPicture &p, std::string *reason);

// The permission bits new files get (0666 less the umask); call once at start.
void captureUmask();

}  // namespace vellora::cli
