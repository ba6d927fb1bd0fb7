// The measuring pass of a Windows metafile's conversion: the records played
// on the recording DC (the reference display, mapped as the conversion sets
// it up), collecting the bounds the recorder collects. Nothing is drawn and
// clipping is not applied, as clipping does not limit the recorded bounds.
// The drawing pass runs one beside it too, for the measurements text needs.
#pragma once

#include <cstddef>
#include <cstdint>

#include "player/wmf_state.h"
#include "vellora.h"

namespace vellora::player::wmf {

class Bounds : public State {
public:
    Bounds(gdi::DeviceContext &recording, uint32_t slots) : State(recording, slots) {}

    void play(uint16_t func, const uint8_t *p, size_t words);

    // Device pixels of the reference display, inclusive; left > right
    // while nothing was bounded.
    const RECT &bounds() const { return bounds_; }

private:
    void add(int32_t l, int32_t t, int32_t r, int32_t b);
    void addPoints(const gdi::Point *pts, size_t n);
    // The box from (x, y) `wd` by `ht` units, edges included.
    void addExtent(int32_t x, int32_t y, int32_t wd, int32_t ht);

    void arc(uint16_t func);
    void text(uint16_t func);
    void blit(uint16_t func);

    RECT bounds_{0, 0, -1, -1};
};

}  // namespace vellora::player::wmf
