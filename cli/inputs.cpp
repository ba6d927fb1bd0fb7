#include "inputs.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "errors.h"

namespace fs = std::filesystem;

namespace vellora::cli {

bool isMetafileName(const std::string &path) {
    std::string ext = fs::path(path).extension().string();
    for (char &c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".emf" || ext == ".wmf" || ext == ".apm" || ext == ".emz" || ext == ".wmz";
}

namespace {

// The metafiles in `dir`, or the reason they cannot be listed.
std::string listDirectory(const std::string &dir, bool recursive, std::vector<Input> *found) {
    std::error_code ec;
    const auto take = [&](const fs::directory_entry &e) {
        std::error_code fec;
        if (!isMetafileName(e.path().string()) || e.is_directory(fec)) return;
        const fs::path sub = e.path().parent_path().lexically_relative(dir);
        found->push_back({e.path().string(), sub == "." ? std::string() : sub.string(), {}});
    };
    if (recursive) {
        // Links to folders are not followed: a link to a parent would never end.
        for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
            take(*it);
    } else {
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
            take(*it);
    }
    if (ec) return "cannot list the directory: " + errnoText(ec.value());
    std::sort(found->begin(), found->end(),
              [](const Input &a, const Input &b) { return a.path < b.path; });
    return {};
}

}  // namespace

std::vector<Input> expandInputs(const std::vector<std::string> &args, bool recursive) {
    std::vector<Input> inputs;
    for (const std::string &arg : args) {
        std::error_code ec;
        if (arg == "-" || !fs::is_directory(arg, ec)) {
            inputs.push_back({arg, {}, {}});
            continue;
        }
        std::vector<Input> found;
        const std::string problem = listDirectory(arg, recursive, &found);
        if (!problem.empty())
            inputs.push_back({arg, {}, problem});
        else if (found.empty())
            inputs.push_back({arg, {}, std::string("no .emf, .wmf, .apm, .emz or .wmz files in this directory") +
                                           (recursive ? " or below it" : "")});
        inputs.insert(inputs.end(), found.begin(), found.end());
    }
    return inputs;
}

}  // namespace vellora::cli
