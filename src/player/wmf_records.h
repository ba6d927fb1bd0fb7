// Windows-metafile record functions (the rdFunction word of a record),
// from wmf_records.def.
#pragma once

#include <cstdint>

namespace vellora::player::meta {

enum : uint16_t {
#define VELLORA_META(id, function, name, size, support, paints) id = function,
#include "player/wmf_records.def"
#undef VELLORA_META
};

// Escape functions the player looks at.
enum : uint16_t {
    MFCOMMENT = 0x000F,
    SETABORTPROC = 0x0009,
};

}  // namespace vellora::player::meta
