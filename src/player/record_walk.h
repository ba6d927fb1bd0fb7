// One walk over a metafile's records for whoever describes a file instead of
// playing it (the command's `info`, and its word on a picture that comes out
// empty): each whole record with what records.h says of its type, and where
// and why the data stops making sense. Playback keeps its own loops, which
// stop where the platform's playback stops; this walk goes as far as the
// data holds whole records, so that it can say what lies beyond.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "player/records.h"

namespace vellora::player {

struct WalkedRecord {
    uint32_t type;        // EMF record type, or WMF record function
    const uint8_t *data;  // the whole record, its header included
    size_t size;          // bytes
    RecordKind kind;      // its line of emf_records.def or wmf_records.def
};

enum class WalkEnd {
    NoHeader,        // the format's header is missing or not sane: no record was walked
    DamagedHeader,   // EMF: the header record claims more bytes than the data holds
    EndRecord,       // the end-of-file record was reached (and walked)
    ImpossibleSize,  // a record claims fewer bytes than its own header
    Truncated,       // a record reaches past the end of the data
    NoEndRecord,     // the data ends between records, before any end-of-file record
};

struct Walk {
    WalkEnd end = WalkEnd::NoHeader;
    uint64_t records = 0;  // whole records walked (EMF: the header record is the first)
    uint64_t claimed = 0;  // ImpossibleSize and DamagedHeader: the bytes the record claims
};

using RecordVisitor = std::function<void(const WalkedRecord &)>;

// `data` starts with the EMF header record.
Walk walkEnhMetaFile(const uint8_t *data, size_t size, const RecordVisitor &visit);

// `data` starts with the 18-byte WMF header (after any placeable header).
Walk walkWinMetaFile(const uint8_t *data, size_t size, const RecordVisitor &visit);

}  // namespace vellora::player
