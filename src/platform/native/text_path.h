// Conversions between 8-bit paths in the locale's character set and UTF-16.
#pragma once

#include <cstddef>
#include <string>

#include "vellora.h"

namespace vellora::native {

// Writes at most n + 1 code units into `out`, zero-terminated.
bool widenLocalePath(const char *path, size_t n, WCHAR *out);
// The byte string to hand to the file system for a UTF-16 path.
bool narrowPath(const WCHAR *path, std::string *out);

}  // namespace vellora::native
