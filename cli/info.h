// `vellora info`: what a metafile holds, and what the native player will not draw.
#pragma once

#include <cstdio>
#include <string>

namespace vellora::cli {

// Prints the description of one file to `out`. False when the file cannot be
// read, is not a metafile or is damaged (the reason goes to standard error).
// `*separate` says whether a blank line goes first; it is set once printed.
bool describeFile(const std::string &path, double dpi, std::FILE *out, bool *separate);

}  // namespace vellora::cli
