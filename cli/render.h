// Rendering one metafile file to one PNG file.
#pragma once

#include <sys/types.h>

#include <optional>
#include <set>
#include <string>
#include <utility>

#include "colour.h"
#include "metafile.h"
#include "output.h"

namespace vellora::cli {

struct RenderOptions {
    std::optional<int> width, height;
    bool keepAspect = false;
    double dpi = 96;
    double rotateDegrees = 0;
    double crop[4] = {0, 0, 1, 1};  // normalised: ordered and inside 0..1
    int key = 255;
    Colour background;              // alpha 0: transparent
    bool force = false;
    PngSettings png;
};

// Device and inode of a file, to recognise an input under another name.
using FileId = std::pair<dev_t, ino_t>;

struct Outcome {
    enum Kind { Rendered, Failed, Skipped } kind = Failed;
    std::string reason;  // why it failed or was skipped
    int width = 0, height = 0;
};

// The output size for a picture: the natural size at the dpi, or what
// --width/--height ask. Empty string, or the reason there is none.
std::string outputSize(const RenderOptions &o, const Picture &pic, int *w, int *h);

// Renders `input` to `output` ("-" for standard output). Never writes a file
// whose identity is in `inputs`.
Outcome renderFile(const std::string &input, const std::string &output, const RenderOptions &o,
                   const std::set<FileId> &inputs);

}  // namespace vellora::cli
