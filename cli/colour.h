// CSS-style colours for --background.
#pragma once

#include <cstdint>
#include <string>

namespace vellora::cli {

struct Colour {
    uint8_t r = 0, g = 0, b = 0, a = 0;  // straight (not premultiplied) alpha
};

// Accepts `transparent`, #rgb, #rgba, #rrggbb, #rrggbbaa, rgb(r, g, b),
// rgba(r, g, b, a) with r, g, b as 0-255 or percentages and a as 0-1 or a
// percentage, and the 148 CSS named colours (any letter case). False for anything else.
bool parseColour(const std::string &text, Colour *out);

}  // namespace vellora::cli
