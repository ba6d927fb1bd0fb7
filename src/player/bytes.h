// Little-endian reads from record data. Callers check bounds first; these
// only assemble bytes.
#pragma once

#include <cstdint>
#include <cstring>

namespace vellora::player {

inline uint32_t u32(const uint8_t *p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline int32_t i32(const uint8_t *p) { return int32_t(u32(p)); }
inline uint16_t u16(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }
inline int16_t i16(const uint8_t *p) { return int16_t(u16(p)); }
inline float f32(const uint8_t *p) {
    const uint32_t v = u32(p);
    float f;
    std::memcpy(&f, &v, 4);
    return f;
}

}  // namespace vellora::player
