// Error texts for people: what the system said, ready to follow a colon.
#pragma once

#include <string>

namespace vellora::cli {

// The system's message for `e` with a lower-case first letter
// ("permission denied"); safe to call from several threads.
std::string errnoText(int e);

}  // namespace vellora::cli
