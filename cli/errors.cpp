#include "errors.h"

#include <cctype>
#include <cstring>

namespace vellora::cli {

std::string errnoText(int e) {
    char buf[256];
    // GNU strerror_r: returns the message, in buf or in static storage.
    std::string s = ::strerror_r(e, buf, sizeof buf);
    // Leave acronyms ("EOF") alone; lower the first word otherwise.
    if (s.size() > 1 && std::isupper(static_cast<unsigned char>(s[0])) &&
        !std::isupper(static_cast<unsigned char>(s[1])))
        s[0] = char(std::tolower(static_cast<unsigned char>(s[0])));
    return s;
}

}  // namespace vellora::cli
