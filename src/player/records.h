// What the player does with each record type of the two formats, from
// emf_records.def and wmf_records.def: the player's dispatch reads the
// smallest sizes, and the record walk (record_walk.h) hands the rest to the
// command with each record, so that neither keeps a list of its own.
#pragma once

#include <cstdint>

namespace vellora::player {

enum class Support : uint8_t {
    Drawn,     // the player draws it or applies its state
    NoEffect,  // carries nothing visible (comments, colour profiles, ...)
    Missing,   // changes the picture, but the player skips it
};

struct RecordKind {
    const char *name;  // null for a type number the format does not define
    uint32_t minSize;  // bytes, header included; smaller records are skipped
    Support support;
    bool paints;       // paints pixels itself, rather than setting state,
                       // making objects or carrying comments
};

// By EMF record type (EMR_*).
constexpr RecordKind emfRecord(uint32_t type) {
    switch (type) {
#define VELLORA_EMR(id, type, name, size, support, paints) \
    case type: return {name, size, Support::support, paints};
#include "player/emf_records.def"
#undef VELLORA_EMR
    }
    return {nullptr, 8, Support::Missing, false};
}

// By WMF record function (META_*).
constexpr RecordKind wmfRecord(uint16_t function) {
    switch (function) {
#define VELLORA_META(id, function, name, size, support, paints) \
    case function: return {name, size, Support::support, paints};
#include "player/wmf_records.def"
#undef VELLORA_META
    }
    return {nullptr, 6, Support::Missing, false};
}

}  // namespace vellora::player
