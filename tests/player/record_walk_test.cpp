// The record walk the command describes files through: where it stops on
// each kind of damage, how many whole records it counts, and that each
// record comes with its line of the record table.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "player/record_walk.h"

namespace {

using vellora::player::WalkEnd;

void put32(std::vector<uint8_t> &b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
void put16(std::vector<uint8_t> &b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

// An EMF record of `size` bytes claimed, `body` bytes actually written after its header.
void emr(std::vector<uint8_t> &b, uint32_t type, uint32_t size, size_t body) {
    put32(b, type);
    put32(b, size);
    b.insert(b.end(), body, 0);
}
// A WMF record claiming `words`, with `body` bytes after its 6-byte header.
void meta(std::vector<uint8_t> &b, uint16_t function, uint32_t words, size_t body) {
    put32(b, words);
    put16(b, function);
    b.insert(b.end(), body, 0);
}
std::vector<uint8_t> wmfHeader() {
    std::vector<uint8_t> b;
    put16(b, 1);      // memory metafile
    put16(b, 9);      // header words
    put16(b, 0x300);  // version
    b.insert(b.end(), 12, 0);
    return b;
}

struct Case {
    const char *name;
    bool emf;
    std::vector<uint8_t> data;
    WalkEnd end;
    uint64_t records;
    uint64_t claimed;
    std::string names;  // the table's names of the records walked, in order
};

std::vector<Case> cases() {
    std::vector<Case> c;
    auto emfWith = [](auto more) {
        std::vector<uint8_t> b;
        emr(b, 1, 88, 80);
        more(b);
        return b;
    };
    c.push_back({"emf whole", true, emfWith([](auto &b) {
                     emr(b, 43, 24, 16);
                     emr(b, 14, 20, 12);
                 }),
                 WalkEnd::EndRecord, 3, 0, "EMR_HEADER EMR_RECTANGLE EMR_EOF"});
    c.push_back({"emf record smaller than its header", true, emfWith([](auto &b) { emr(b, 43, 4, 8); }),
                 WalkEnd::ImpossibleSize, 1, 4, "EMR_HEADER"});
    c.push_back({"emf record past the end", true, emfWith([](auto &b) { emr(b, 43, 400, 16); }),
                 WalkEnd::Truncated, 1, 0, "EMR_HEADER"});
    c.push_back({"emf without end record", true, emfWith([](auto &b) { emr(b, 999, 12, 4); }),
                 WalkEnd::NoEndRecord, 2, 0, "EMR_HEADER ?"});
    {
        std::vector<uint8_t> b;
        emr(b, 1, 5000, 80);
        c.push_back({"emf header past the end", true, b, WalkEnd::DamagedHeader, 0, 5000, ""});
    }
    {
        std::vector<uint8_t> b;
        emr(b, 2, 88, 80);
        c.push_back({"emf starting with another record", true, b, WalkEnd::NoHeader, 0, 0, ""});
    }
    auto wmfWith = [](auto more) {
        std::vector<uint8_t> b = wmfHeader();
        more(b);
        return b;
    };
    c.push_back({"wmf whole", false, wmfWith([](auto &b) {
                     meta(b, 0x0213, 5, 4);
                     meta(b, 0x0000, 3, 0);
                 }),
                 WalkEnd::EndRecord, 2, 0, "META_LINETO META_EOF"});
    c.push_back({"wmf record smaller than its header", false, wmfWith([](auto &b) { meta(b, 0x0213, 2, 4); }),
                 WalkEnd::ImpossibleSize, 0, 4, ""});
    c.push_back({"wmf record past the end", false, wmfWith([](auto &b) { meta(b, 0x0213, 100, 4); }),
                 WalkEnd::Truncated, 0, 0, ""});
    c.push_back({"wmf without end record", false, wmfWith([](auto &b) { meta(b, 0x0213, 5, 4); }),
                 WalkEnd::NoEndRecord, 1, 0, "META_LINETO"});
    {
        std::vector<uint8_t> b = wmfHeader();
        b[2] = 8;  // header words
        c.push_back({"wmf with a wrong header", false, b, WalkEnd::NoHeader, 0, 0, ""});
    }
    return c;
}

TEST(RecordWalk, StopsWhereTheDataStopsMakingSense) {
    for (const Case &k : cases()) {
        SCOPED_TRACE(k.name);
        std::string names;
        uint64_t visited = 0;
        const auto visit = [&](const vellora::player::WalkedRecord &r) {
            ++visited;
            if (!names.empty()) names += ' ';
            names += r.kind.name ? r.kind.name : "?";
            EXPECT_GE(r.size, k.emf ? 8u : 6u);
        };
        const vellora::player::Walk w =
            k.emf ? vellora::player::walkEnhMetaFile(k.data.data(), k.data.size(), visit)
                  : vellora::player::walkWinMetaFile(k.data.data(), k.data.size(), visit);
        EXPECT_EQ(int(w.end), int(k.end));
        EXPECT_EQ(w.records, k.records);
        EXPECT_EQ(visited, k.records);
        EXPECT_EQ(w.claimed, k.claimed);
        EXPECT_EQ(names, k.names);
    }
}

TEST(RecordWalk, RecordsCarryTheirTableLine) {
    std::vector<uint8_t> b = wmfHeader();
    meta(b, 0x041B, 7, 8);  // META_RECTANGLE paints
    meta(b, 0x0201, 5, 4);  // META_SETBKCOLOR sets state
    meta(b, 0x0000, 3, 0);
    std::vector<bool> paints;
    vellora::player::walkWinMetaFile(b.data(), b.size(), [&](const vellora::player::WalkedRecord &r) {
        paints.push_back(r.kind.paints);
    });
    EXPECT_EQ(paints, (std::vector<bool>{true, false, false}));
}

}  // namespace
