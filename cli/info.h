// `vellora info`: what a metafile holds, and what the native player will not draw.
#pragma once

#include <cstdio>
#include <string>

namespace vellora::cli {

// Prints the description of one file to `out`: as text (`*separate` says
// whether a blank line goes first; it is set once printed), or with `json`
// as one JSON object (`*separate`: whether a comma goes first). False when
// the file cannot be read, is not a metafile or is damaged (the reason also
// goes to standard error).
bool describeFile(const std::string &path, double dpi, bool json, std::FILE *out, bool *separate);

// Reports an INPUT that stands for no file, as describeFile reports a file
// it cannot describe.
void reportProblem(const std::string &path, const std::string &problem, bool json,
                   std::FILE *out, bool *separate);

}  // namespace vellora::cli
