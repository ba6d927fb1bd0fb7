// vellora: render Windows metafiles to PNG, and describe what they hold.
#include <malloc.h>
#include <signal.h>
#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <thread>

#include "api/geometry.h"
#include "batch.h"
#include "errors.h"
#include "fonts.h"
#include "info.h"
#include "inputs.h"
#include "output.h"
#include "render.h"

namespace fs = std::filesystem;
using namespace vellora::cli;

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;

struct UsageError {
    std::string message;
};

std::string pngNameFor(const std::string &input) {
    fs::path name = fs::path(input).filename();
    if (name.empty() || name == "." || name == "..") name = "picture";
    name.replace_extension(".png");
    return name.string();
}

std::string outputKey(const std::string &path) {
    std::error_code ec;
    return fs::absolute(path, ec).lexically_normal().string();
}

// Fills in each task's output: the input's name with its extension replaced
// by .png, beside it or in --out-dir. Two inputs with one output (a.emf and
// a.wmf) cannot both have it: the first keeps it, the later ones fail.
void assignOutputs(std::vector<Task> &tasks, std::string output, const std::string &outDir) {
    if (output.empty() && tasks.size() == 1 && tasks[0].input == "-") output = "-";
    if (!output.empty()) {
        if (tasks.size() != 1)
            throw UsageError{"-o names one output file, but there are " +
                             std::to_string(tasks.size()) + " inputs; use --out-dir"};
        tasks[0].output = output;
        return;
    }
    std::map<std::string, size_t> taken;
    for (size_t i = 0; i < tasks.size(); ++i) {
        Task &t = tasks[i];
        const fs::path dir = outDir.empty() ? fs::path(t.input).parent_path()
                                            : fs::path(outDir) / t.subdir;
        t.output = (dir / pngNameFor(t.input)).string();
        if (!t.failure.empty()) continue;
        const auto [it, fresh] = taken.emplace(outputKey(t.output), i);
        if (!fresh)
            t.failure = "not rendered: " + tasks[it->second].input + " has the same output " +
                        t.output + " (outputs are named after the input without its extension); "
                        "render this one with -o FILE or into another --out-dir";
    }
}

void parseCrop(const std::string &text, RenderOptions *o) {
    double v[4];
    size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        const size_t comma = text.find(',', pos);
        const std::string part = text.substr(pos, comma == std::string::npos ? std::string::npos
                                                                              : comma - pos);
        char *end = nullptr;
        v[i] = std::strtod(part.c_str(), &end);
        if (part.empty() || *end != 0 || !std::isfinite(v[i]) || (i < 3) == (comma == std::string::npos))
            throw UsageError{"--crop takes four fractions X0,Y0,X1,Y1, such as 0,0,0.5,1"};
        pos = comma + 1;
    }
    const vellora::CropWindow c = vellora::normaliseCrop(v[0], v[1], v[2], v[3]);
    if (!(c.x1 > c.x0) || !(c.y1 > c.y0))
        throw UsageError{"--crop " + text + " selects nothing of the picture (0..1 on each axis)"};
    o->crop[0] = c.x0;
    o->crop[1] = c.y0;
    o->crop[2] = c.x1;
    o->crop[3] = c.y1;
}

// A side length option checked against the library's limit for that side,
// so a request it cannot draw is a usage error that names the limit.
CLI::Validator sideWithin(int limit, const char *side) {
    return CLI::Validator(
        [limit, side](std::string &text) -> std::string {
            char *end = nullptr;
            errno = 0;
            const long v = std::strtol(text.c_str(), &end, 10);
            if (end == text.c_str() || *end || errno || v < 1)
                return "takes a number of pixels, 1 or more";
            if (v > limit)
                return std::to_string(v) + " pixels is more than the library draws: at most " +
                       std::to_string(limit) + " " + side;
            return {};
        },
        "PIXELS");
}

// Both sides asked for together must fit the library's limit on the two
// bitmaps of a call, too.
void checkArea(int w, int h, const std::string &what) {
    if (!drawableSize(w, h))
        throw UsageError{what + " " + std::to_string(w) + " x " + std::to_string(h) +
                         " is more than the library draws at once: (width + 1) x (height + 1) "
                         "is at most " + std::to_string(VELLORA_MAX_AREA) +
                         " pixels (about 5790 x 5790)"};
}

void parseMaxSize(const std::string &text, RenderOptions *o) {
    int w = 0, h = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%dx%d%c", &w, &h, &tail) != 2 || w < 1 || h < 1)
        throw UsageError{"--max-size takes WIDTHxHEIGHT in pixels, such as 800x600"};
    if (w > VELLORA_MAX_WIDTH || h > kMaxOutputHeight)
        throw UsageError{"--max-size " + text + " is more than the library draws: at most " +
                         std::to_string(VELLORA_MAX_WIDTH) + " wide and " +
                         std::to_string(kMaxOutputHeight) + " high"};
    checkArea(w, h, "--max-size");
    o->maxWidth = w;
    o->maxHeight = h;
}

void onSignal(int) { requestStop(); }

void installSignalHandlers() {
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    // A second signal ends the process at once.
    sa.sa_flags = SA_RESETHAND;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

std::set<FileId> identitiesOf(const std::vector<Task> &tasks) {
    std::set<FileId> ids;
    for (const Task &t : tasks) {
        struct stat st;
        if (::stat(t.input.c_str(), &st) == 0) ids.insert({st.st_dev, st.st_ino});
    }
    return ids;
}

}  // namespace

int main(int argc, char **argv) {
    // Long: every option is declared and checked here, in the order --help shows them; each
    // subcommand then ends in one loop (describeFile per input, or runBatch).
#if defined(__GLIBC__)
    // A batch reads, converts and draws file after file in buffers of a few
    // megabytes: freed memory stays with the process for the next file
    // instead of going back to the kernel and coming again a page fault at
    // a time.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
    CLI::App app{"Renders Windows metafiles (EMF, WMF, placeable WMF) to PNG, anti-aliased,\n"
                 "and describes what they hold.",
                 "vellora"};
    // Usage errors read like every other message of the command.
    app.failure_message([](const CLI::App *, const CLI::Error &e) {
        return std::string("vellora: ") + e.what() + "\nvellora: run `vellora --help` for the usage\n";
    });
    app.set_version_flag("--version", std::string("vellora ") + VELLORA_VERSION);
    app.require_subcommand(1);
    app.footer("Run `vellora COMMAND --help` for a command's options; the manual is vellora(1).\n"
               "Exit status: 0 when every file was rendered or skipped, 1 when any failed,\n"
               "2 for a usage error, 130 when interrupted.");

    // ---- render
    CLI::App *render = app.add_subcommand("render", "Render metafiles to PNG files.");
    render->footer(
        "Outputs are written to a temporary file and renamed into place; the file named with\n"
        "-o is replaced, a batch's existing outputs only with --force, and an input file is\n"
        "never written. A directory given as INPUT stands for the .emf, .wmf, .apm, .emz and\n"
        ".wmz files directly inside it (with -r, below it); .emz and .wmz files (gzip) are\n"
        "inflated as they are read; - reads standard input (the PNG then goes to standard output\n"
        "unless -o names a file).\n"
        "Several inputs give a progress bar on a terminal (a line per file otherwise) and a\n"
        "summary; a file that fails is named with the reason and the batch goes on.");
    std::vector<std::string> inputs;
    std::string output, outDir, crop, background = "transparent";
    int width = 0, height = 0;
    unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
    RenderOptions opts;
    bool quiet = false, recursive = false;
    render->add_option("INPUT", inputs,
                       "Metafile files (EMF, WMF or placeable WMF, gzip-compressed too) or\n"
                       "directories; - is standard input")
        ->required()
        ->type_name("FILE|DIR");
    CLI::Option *outputOpt = render->add_option(
        "-o,--output", output, "Output PNG file for a single input; - writes to standard output");
    outputOpt->type_name("FILE");
    render->add_option("--out-dir", outDir,
                       "Directory for the outputs, named after each input with .png\n"
                       "(created if missing). Without it and -o, each PNG lands beside its input")
        ->excludes(outputOpt)
        ->type_name("DIR");
    CLI::Option *widthOpt =
        render->add_option("--width", width, "Output width in pixels; alone, the height follows the picture's aspect")
            ->check(sideWithin(VELLORA_MAX_WIDTH, "wide"))
            ->type_name("PIXELS");
    CLI::Option *heightOpt =
        render->add_option("--height", height, "Output height in pixels; alone, the width follows the picture's aspect")
            ->check(sideWithin(kMaxOutputHeight, "high"))
            ->type_name("PIXELS");
    std::string maxSize;
    render->add_option("--max-size", maxSize,
                       "Scale a size that follows the picture (its natural size, or one side given)\n"
                       "down to fit WxH pixels, keeping its proportions; without it, sizes beyond\n"
                       "what the library draws at once are scaled down to fit that, with a notice")
        ->type_name("WxH");
    render->add_flag("--keep-aspect", opts.keepAspect,
                     "With --width and --height: shrink the output to the picture's aspect ratio\n"
                     "inside that box, as the library's keepAspect does");
    render->add_option("--dpi", opts.dpi,
                       "Resolution for the natural size from the picture's frame, used when neither\n"
                       "--width nor --height is given; the PNG records it either way")
        ->check(CLI::Range(1.0, 10000.0))
        ->type_name("DPI")
        ->capture_default_str();
    render->add_option("--rotate", opts.rotateDegrees,
                       "Turn the picture counterclockwise by DEGREES about the middle of the output;\n"
                       "the output keeps its size and what the turn moves outside is cut off")
        ->type_name("DEGREES");
    render->add_flag("--rotate-fit", opts.rotateFit,
                     "With --rotate: grow the output to the bounding box of the turned picture,\n"
                     "which keeps its scale, instead of cutting off what turns outside");
    render->add_option("--crop", crop,
                       "Show only the window X0,Y0,X1,Y1 of the picture, in fractions of its width\n"
                       "and height (0,0,1,1 is all of it); the natural size shrinks to match")
        ->type_name("X0,Y0,X1,Y1");
    render->add_option("--key", opts.key,
                       "Coverage key: the alpha that drawn pixels get (255 opaque, 128 half)")
        ->check(CLI::Range(0, 255))
        ->type_name("N")
        ->capture_default_str();
    render->add_option("--background", background,
                       "Colour under the picture: transparent, #rgb, #rrggbb, #rrggbbaa,\n"
                       "rgb(r,g,b), rgba(r,g,b,a) or a CSS colour name. An opaque colour gives an\n"
                       "RGB PNG; otherwise the PNG keeps each pixel's alpha")
        ->type_name("COLOR")
        ->capture_default_str();
    render->add_option("-j,--jobs", jobs,
                       "Files drawn at once; in a batch each also writes its last PNG on a\n"
                       "second thread while it draws the next")
        ->check(CLI::Range(1u, 1024u))
        ->type_name("N")
        ->default_str("number of cores");
    render->add_flag("-r,--recursive", recursive,
                     "Directories stand for the metafiles in all their subfolders too; in\n"
                     "--out-dir the outputs keep the subfolders");
    render->add_flag("-f,--force", opts.force,
                     "Replace outputs of a batch that exist (the file named with -o always is)");
    render->add_option("--png-compression", opts.png.zlibLevel,
                       "Deflate level of the PNG files, 0 (none) to 9 (smallest, slowest)")
        ->check(CLI::Range(0, 9))
        ->type_name("LEVEL")
        ->capture_default_str();
    render->add_flag("--png-filters", opts.png.adaptiveFilters,
                     "Give every row the filter libpng would choose; by default only rows\n"
                     "that change colour at most pixels get it: for drawings that is smaller\n"
                     "and faster")
        ->type_name("");
    render->add_flag("-q,--quiet", quiet,
                     "No progress bar, per-file lines or summary; failures are still reported");

    // ---- info
    CLI::App *info = app.add_subcommand(
        "info", "Describe metafiles: format, header fields, records, and what the native\n"
                "player does not draw.");
    std::vector<std::string> infoInputs;
    double infoDpi = 96;
    bool infoJson = false, infoRecursive = false;
    info->add_option("INPUT", infoInputs,
                     "Metafile files or directories (the metafiles inside, as for render);\n"
                     "- is standard input")
        ->required()
        ->type_name("FILE|DIR");
    info->add_flag("-r,--recursive", infoRecursive, "Directories stand for the metafiles in all their subfolders too");
    info->add_flag("--json", infoJson,
                   "Print a JSON array with one object per file, holding the facts of the text");
    info->add_option("--dpi", infoDpi, "Resolution for the natural size")
        ->check(CLI::Range(1.0, 10000.0))
        ->type_name("DPI")
        ->capture_default_str();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        return app.exit(e) == 0 ? 0 : kExitUsage;
    }

    if (info->parsed()) {
        if (std::count(infoInputs.begin(), infoInputs.end(), "-") > 1) {
            std::fprintf(stderr, "vellora: - (standard input) can be read once\n");
            return kExitUsage;
        }
        bool ok = true, separate = false;
        if (infoJson) std::fputs("[\n", stdout);
        for (const Input &in : expandInputs(infoInputs, infoRecursive)) {
            if (!in.failure.empty()) {
                reportProblem(in.path, in.failure, infoJson, stdout, &separate);
                ok = false;
            } else {
                ok = describeFile(in.path, infoDpi, infoJson, stdout, &separate) && ok;
            }
        }
        if (infoJson) std::fputs(separate ? "\n]\n" : "]\n", stdout);
        return ok ? 0 : kExitFailed;
    }

    std::vector<Task> tasks;
    try {
        if (!std::isfinite(opts.rotateDegrees) || std::fabs(opts.rotateDegrees) > 1e6)
            throw UsageError{"--rotate takes a number of degrees, such as 90 or -12.5"};
        if (widthOpt->count()) opts.width = width;
        if (heightOpt->count()) opts.height = height;
        if (opts.width && opts.height) checkArea(width, height, "--width and --height");
        if (!maxSize.empty()) parseMaxSize(maxSize, &opts);
        if (!crop.empty()) parseCrop(crop, &opts);
        if (!parseColour(background, &opts.background))
            throw UsageError{"--background " + background +
                             ": not a colour (try transparent, white, #rrggbb or rgba(0,0,0,0.5))"};
        // An output the user named is what they asked for; only a batch's
        // derived names are left alone when they exist.
        if (!output.empty()) opts.force = true;
        if (std::count(inputs.begin(), inputs.end(), "-") && inputs.size() > 1)
            throw UsageError{"- (standard input) must be the only INPUT"};
        if (inputs == std::vector<std::string>{"-"} && !outDir.empty())
            throw UsageError{"standard input has no name to derive an output from; use -o FILE"};
        for (Input &in : expandInputs(inputs, recursive))
            tasks.push_back({std::move(in.path), {}, std::move(in.failure), std::move(in.subdir)});
        assignOutputs(tasks, output, outDir);
        if (!outDir.empty()) {
            std::error_code ec;
            fs::create_directories(outDir, ec);
            if (ec) {
                throw UsageError{"--out-dir " + outDir + ": cannot create it: " +
                                 errnoText(ec.value())};
            }
            // The subfolders a recursive walk mirrors.
            for (Task &t : tasks) {
                if (t.subdir.empty() || !t.failure.empty()) continue;
                fs::create_directories(fs::path(t.output).parent_path(), ec);
                if (ec) t.failure = "cannot create the folder for " + t.output + ": " + errnoText(ec.value());
            }
        }
    } catch (const UsageError &e) {
        std::fprintf(stderr, "vellora: %s\n", e.message.c_str());
        return kExitUsage;
    }

    captureUmask();
    installSignalHandlers();
    const Summary s = runBatch(tasks, opts, identitiesOf(tasks), jobs, quiet);
    finishLoadingFonts();
    if (s.notStarted) return kExitInterrupted;
    return s.failed ? kExitFailed : 0;
}
