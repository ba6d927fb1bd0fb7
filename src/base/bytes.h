// Little-endian loads, the one way every decoder here reads metafile,
// bitmap and font bytes. The loads only assemble bytes: their callers have
// checked bounds. Reader checks bounds itself before each read and
// remembers a failed one, for walks that would rather test once at the end.
// Plain C++17 with no other dependency, so the Windows build compiles it too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vellora::base {

inline uint8_t u8(const uint8_t *p) { return p[0]; }
inline uint16_t u16(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }
inline int16_t i16(const uint8_t *p) { return int16_t(u16(p)); }
inline uint32_t u32(const uint8_t *p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline int32_t i32(const uint8_t *p) { return int32_t(u32(p)); }
inline float f32(const uint8_t *p) {
    const uint32_t v = u32(p);
    float f;
    std::memcpy(&f, &v, 4);
    return f;
}

// A cursor over `size` bytes. A read that does not fit returns 0, reads
// nothing, and leaves the reader failed: every later read returns 0 too.
class Reader {
public:
    Reader(const uint8_t *data, size_t size) : data_(data), size_(data ? size : 0) {}

    bool ok() const { return ok_; }
    size_t pos() const { return pos_; }
    size_t size() const { return size_; }
    size_t remaining() const { return ok_ ? size_ - pos_ : 0; }
    bool has(size_t n) const { return ok_ && size_ - pos_ >= n; }
    // The byte at the cursor; only meaningful while has(1).
    const uint8_t *here() const { return data_ + pos_; }

    // Moves the cursor to `at` (0 .. size).
    bool seek(size_t at) { return at <= size_ ? (pos_ = at, ok_) : fail(); }
    bool skip(size_t n) { return has(n) ? (pos_ += n, true) : fail(); }
    // The next `n` bytes, or null.
    const uint8_t *bytes(size_t n) {
        if (!has(n)) return fail(), nullptr;
        const uint8_t *p = data_ + pos_;
        pos_ += n;
        return p;
    }

    uint8_t u8() { return load<1>(base::u8); }
    uint16_t u16() { return load<2>(base::u16); }
    int16_t i16() { return load<2>(base::i16); }
    uint32_t u32() { return load<4>(base::u32); }
    int32_t i32() { return load<4>(base::i32); }
    float f32() { return load<4>(base::f32); }

private:
    bool fail() {
        ok_ = false;
        return false;
    }
    template <size_t N, class T>
    T load(T (*f)(const uint8_t *)) {
        const uint8_t *p = bytes(N);
        return p ? f(p) : T(0);
    }

    const uint8_t *data_;
    size_t size_;
    size_t pos_ = 0;
    bool ok_ = true;
};

}  // namespace vellora::base
