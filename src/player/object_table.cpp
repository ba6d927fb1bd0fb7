#include "player/object_table.h"

#include "gdi/dc/dc.h"

namespace vellora::player {

Object Object::of(gdi::PenRef p) {
    Object o;
    if (p) o.kind = Pen, o.pen = std::move(p);
    return o;
}

Object Object::of(gdi::BrushRef b) {
    Object o;
    if (b) o.kind = Brush, o.brush = std::move(b);
    return o;
}

Object Object::of(gdi::FontRef f) {
    Object o;
    if (f) o.kind = Font, o.font = std::move(f);
    return o;
}

Object Object::of(std::shared_ptr<gdi::Palette> p) {
    Object o;
    if (p) o.kind = Palette, o.palette = std::move(p);
    return o;
}

void ObjectTable::put(uint32_t index, Object o) {
    if (index < first_ || index >= slots_) return;
    if (index >= table_.size()) {
        if (o.kind == Object::Empty) return;
        table_.resize(size_t(index) + 1);
    }
    table_[index] = std::move(o);
}

void ObjectTable::add(Object o) {
    for (size_t i = first_; i < table_.size(); ++i)
        if (table_[i].kind == Object::Empty) {
            table_[i] = std::move(o);
            return;
        }
    if (table_.size() < slots_) {
        if (table_.size() < first_) table_.resize(first_);
        table_.push_back(std::move(o));
    }
}

void ObjectTable::remove(uint32_t index) {
    if (Object *o = at(index)) *o = Object{};
}

const Object *ObjectTable::select(gdi::DeviceContext &dc, uint32_t index) {
    const Object *o = at(index);
    if (!o) return nullptr;
    switch (o->kind) {
    case Object::Pen: dc.selectPen(o->pen); break;
    case Object::Brush: dc.selectBrush(o->brush); break;
    case Object::Font: dc.state().font = o->font; break;
    default: break;  // palettes are selected by SelectPalette only
    }
    return o;
}

gdi::Palette *ObjectTable::selectedPalette(const gdi::DeviceContext &dc) {
    const auto &selected = dc.state().palette;
    if (!selected) return nullptr;
    for (Object &o : table_)
        if (o.kind == Object::Palette && o.palette == selected) return o.palette.get();
    return nullptr;
}

}  // namespace vellora::player
