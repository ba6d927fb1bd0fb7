// Rendering one metafile file to one PNG file.
#pragma once

#include <sys/types.h>

#include <memory>
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
    // The box a natural or aspect-derived size is scaled down into; unset,
    // the library's limits are the box and a notice says when they bite.
    std::optional<int> maxWidth, maxHeight;
    bool keepAspect = false;
    double dpi = 96;
    double rotateDegrees = 0;
    bool rotateFit = false;         // grow the output to hold the whole turned picture
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
    std::string notice;  // a warning that goes with a rendered file
    int width = 0, height = 0;
};

// The tallest output: the library draws 1048576 rows, but PNG readers built
// on libpng refuse more than a million unless told otherwise.
constexpr int kMaxOutputHeight = 1000000;

// Whether the library draws a target of w x h pixels, and it fits a PNG
// that readers open.
bool drawableSize(int64_t w, int64_t h);

// The output size for a picture: the natural size at the dpi, or what
// --width/--height ask, scaled down to fit the --max-size box or the
// library's limits (then with a `notice` saying so, if given). Empty string,
// or the reason there is none.
std::string outputSize(const RenderOptions &o, const Picture &pic, int *w, int *h,
                       std::string *notice = nullptr);

// A file read, checked and handed to the library, with its output size:
// what renderFile does before it draws, so that a batch can do it for the
// next file while it draws this one.
struct PreparedFile;
struct PreparedDeleter {
    void operator()(PreparedFile *p) const;
};
using Prepared = std::unique_ptr<PreparedFile, PreparedDeleter>;
Prepared prepareFile(const std::string &input, const std::string &output, const RenderOptions &o,
                     const std::set<FileId> &inputs);
// The rest of renderFile: the file's outcome when it could not be prepared.
Outcome drawPrepared(PreparedFile &p, const RenderOptions &o, DrawnPicture *later = nullptr);

// Renders `input` to `output` ("-" for standard output). Never writes a file
// whose identity is in `inputs`. With `later`, a picture for a file is drawn
// into later->pixels (reusing its memory) and left there, `pending`, for
// writeDrawn; the outcome says Rendered until then.
Outcome renderFile(const std::string &input, const std::string &output, const RenderOptions &o,
                   const std::set<FileId> &inputs, DrawnPicture *later = nullptr);

// Writes a pending picture and settles `out`: Rendered, Skipped when the
// output appeared meanwhile and is not to be replaced, or Failed.
void writeDrawn(DrawnPicture &p, Outcome *out);

}  // namespace vellora::cli
