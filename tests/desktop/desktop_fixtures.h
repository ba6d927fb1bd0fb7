// Metafiles for the desktop tests, made here rather than committed so that
// what they hold is visible next to what the tests expect of them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vdesk {

// 4 x 2 inches (384 x 192 pixels at 96 dpi); the left half red, the right
// half blue, opaque everywhere.
std::vector<uint8_t> halvesEmf();

// `data` as a gzip file, as office suites write .emz and .wmz.
std::vector<uint8_t> gzipped(const std::vector<uint8_t> &data);

// An EMF that ends inside its header: recognisable by its name and first
// bytes, but no picture.
std::vector<uint8_t> brokenEmf();

void writeFile(const std::string &path, const std::vector<uint8_t> &bytes);

}  // namespace vdesk
