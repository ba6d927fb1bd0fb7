// Record types of the two metafile formats: their names, and what the native
// player does with each, so that `vellora info` can say what will be missing.
#pragma once

#include <cstdint>

namespace vellora::cli {

enum class Support {
    Drawn,     // the native player draws it or applies its state
    NoEffect,  // carries nothing visible (comments, colour profiles, ...)
    Missing,   // changes the picture, but the native player skips it
};

struct RecordKind {
    const char *name;  // null for a type number the format does not define
    Support support;
};

// By EMF record type (EMR_*), and by WMF record function (META_*).
RecordKind emfRecord(uint32_t type);
RecordKind wmfRecord(uint16_t function);

// Whether a record paints pixels itself (a line, a fill, text, a bitmap), as
// opposed to setting state, making objects or carrying comments.
bool emfPaints(uint32_t type);
bool wmfPaints(uint16_t function);
// The same for an EMF+ record inside a comment, by its type.
bool emfPlusPaints(uint16_t type);

}  // namespace vellora::cli
