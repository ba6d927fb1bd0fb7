// What the INPUT arguments of both commands stand for.
#pragma once

#include <string>
#include <vector>

namespace vellora::cli {

struct Input {
    std::string path;
    std::string subdir;   // folder of `path` below the directory argument it came from
    std::string failure;  // set when the argument stands for no file
};

// Whether a file name ends in a metafile extension (.emf, .wmf, .apm, .emz,
// .wmz, in any letter case).
bool isMetafileName(const std::string &path);

// Each argument as itself, except that a directory stands for the metafiles
// directly inside it (with `recursive`, in all its subfolders too), in name
// order. "-" stays standard input.
std::vector<Input> expandInputs(const std::vector<std::string> &args, bool recursive);

}  // namespace vellora::cli
