// The object table of a playback: what the creation records made, by index.
// EMF records name the slot they fill; WMF records take the lowest free
// one. Both select and delete alike, and both make their objects through
// the same rules (gdi/dc/objects.h), as the platform's playback calls the
// same CreatePenIndirect, CreateBrushIndirect and CreatePalette for both.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "gdi/dc/objects.h"
#include "gdi/image/palette.h"
#include "gdi/types.h"

namespace vellora::gdi {
class DeviceContext;
}

namespace vellora::player {

struct Object {
    enum Kind { Empty, Pen, Brush, Font, Palette, Region, Other } kind = Empty;
    gdi::PenRef pen;
    gdi::BrushRef brush;
    gdi::FontRef font;
    // The player owns palettes and changes them after they are selected,
    // as the platform's palette records do.
    std::shared_ptr<gdi::Palette> palette;
    // Region (WMF): its rectangles as the record gives them, and their
    // bounding box (0, 0, 0, 0 when empty, as the platform reports it).
    std::shared_ptr<const std::vector<gdi::Rect>> rects;
    gdi::Rect box;

    static Object of(gdi::PenRef p);
    static Object of(gdi::BrushRef b);
    static Object of(gdi::FontRef f);
    static Object of(std::shared_ptr<gdi::Palette> p);
};

class ObjectTable {
public:
    // `slots` from the file's header. An EMF's slot 0 stands for the
    // metafile itself and holds nothing (`firstUsable` 1).
    ObjectTable(uint32_t slots, uint32_t firstUsable) : slots_(slots), first_(firstUsable) {}

    Object *at(uint32_t index) {
        return index >= first_ && index < table_.size() ? &table_[index] : nullptr;
    }
    // EMF: the record names the slot. A creation the platform refuses
    // (a null object) leaves the slot empty.
    void put(uint32_t index, Object o);
    // WMF: the lowest free slot; with none free the object is dropped.
    void add(Object o);
    void remove(uint32_t index);
    // SelectObject of the pen, brush or font at `index`; returns the object
    // (null when there is none) so that the caller can handle its own kinds.
    const Object *select(gdi::DeviceContext &dc, uint32_t index);
    // The palette object that is selected into `dc`, if the table holds it.
    gdi::Palette *selectedPalette(const gdi::DeviceContext &dc);

private:
    uint32_t slots_, first_;
    std::vector<Object> table_;  // grows as slots are used, up to slots_
};

}  // namespace vellora::player
