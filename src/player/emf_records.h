// Enhanced-metafile record types, from emf_records.def.
#pragma once

#include <cstdint>

namespace vellora::player::emr {

enum : uint32_t {
#define VELLORA_EMR(id, type, name, size, support, paints) id = type,
#include "player/emf_records.def"
#undef VELLORA_EMR
};

}  // namespace vellora::player::emr
