#include "player/record_walk.h"

#include "base/bytes.h"
#include "player/emf_records.h"
#include "player/wmf_records.h"

namespace vellora::player {

using base::u16;
using base::u32;

Walk walkEnhMetaFile(const uint8_t *data, size_t size, const RecordVisitor &visit) {
    Walk w;
    // The header record: type 1, long enough for the fields a reader takes
    // from it, inside the data.
    if (!data || size < 88 || u32(data) != emr::HEADER) return w;
    const uint32_t headerSize = u32(data + 4);
    if (headerSize < 88 || headerSize > size) {
        w.end = WalkEnd::DamagedHeader;
        w.claimed = headerSize;
        return w;
    }
    size_t off = 0;
    while (size - off >= 8) {
        const uint32_t type = u32(data + off), len = u32(data + off + 4);
        if (len < 8) {
            w.end = WalkEnd::ImpossibleSize;
            w.claimed = len;
            return w;
        }
        if (len > size - off) {
            w.end = WalkEnd::Truncated;
            return w;
        }
        ++w.records;
        visit({type, data + off, len, emfRecord(type)});
        off += len;
        if (type == emr::EOF_) {
            w.end = WalkEnd::EndRecord;
            return w;
        }
    }
    w.end = WalkEnd::NoEndRecord;
    return w;
}

Walk walkWinMetaFile(const uint8_t *data, size_t size, const RecordVisitor &visit) {
    Walk w;
    // Type 1 (memory) or 2 (disk), a header of 9 words.
    constexpr size_t kHeaderBytes = 18;
    if (!data || size < kHeaderBytes) return w;
    const uint16_t type = u16(data), headerWords = u16(data + 2);
    if ((type != 1 && type != 2) || headerWords != 9) return w;
    size_t off = kHeaderBytes;
    while (size - off >= 6) {
        const uint64_t len = uint64_t(u32(data + off)) * 2;
        const uint16_t function = u16(data + off + 4);
        if (len < 6) {
            w.end = WalkEnd::ImpossibleSize;
            w.claimed = len;
            return w;
        }
        if (len > size - off) {
            w.end = WalkEnd::Truncated;
            return w;
        }
        ++w.records;
        visit({function, data + off, size_t(len), wmfRecord(function)});
        off += size_t(len);
        if (function == meta::EOF_) {
            w.end = WalkEnd::EndRecord;
            return w;
        }
    }
    w.end = WalkEnd::NoEndRecord;
    return w;
}

}  // namespace vellora::player
