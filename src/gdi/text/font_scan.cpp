#include "gdi/text/font_scan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

namespace vellora::gdi {

namespace {

constexpr uint32_t tag(const char (&t)[5]) {
    return uint32_t(uint8_t(t[0])) << 24 | uint32_t(uint8_t(t[1])) << 16 |
           uint32_t(uint8_t(t[2])) << 8 | uint32_t(uint8_t(t[3]));
}

uint16_t be16(const uint8_t *p) { return uint16_t(p[0] << 8 | p[1]); }
uint32_t be32(const uint8_t *p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

class File {
public:
    explicit File(const std::string &path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        struct stat st;
        if (fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) size_ = uint64_t(st.st_size);
    }
    ~File() {
        if (fd_ >= 0) ::close(fd_);
    }
    File(const File &) = delete;
    File &operator=(const File &) = delete;
    uint64_t size() const { return size_; }
    // Exactly n bytes at `at`, inside the file.
    bool read(uint64_t at, size_t n, std::vector<uint8_t> &out) const {
        if (fd_ < 0 || at > size_ || n > size_ - at) return false;
        out.resize(n);
        size_t done = 0;
        while (done < n) {
            const ssize_t got = ::pread(fd_, out.data() + done, n - done, off_t(at + done));
            if (got <= 0) return false;
            done += size_t(got);
        }
        return true;
    }

private:
    int fd_;
    uint64_t size_ = 0;
};

struct Table {
    uint32_t offset, length;
};

// The best record of a name ID, ranked as the face list always has: the
// Microsoft platform in US English, then in any language, then Macintosh
// English. Records FreeType drops (empty, or outside the string storage)
// do not count.
std::u16string nameOf(const std::vector<uint8_t> &t, uint16_t id) {
    const uint16_t count = be16(&t[2]), storage = be16(&t[4]);
    const size_t storageStart = 6 + size_t(12) * count;
    std::u16string best;
    int bestRank = 0;
    for (uint16_t i = 0; i < count; ++i) {
        const uint8_t *r = &t[6 + size_t(12) * i];
        const uint16_t platform = be16(r), language = be16(r + 4), nameId = be16(r + 6);
        const size_t length = be16(r + 8), offset = size_t(storage) + be16(r + 10);
        if (length == 0 || offset < storageStart || offset + length > t.size()) continue;
        if (nameId != id) continue;
        int rank = 0;
        std::u16string s;
        const uint8_t *p = &t[offset];
        if (platform == 3) {
            rank = language == 0x409 ? 3 : 2;
            for (size_t k = 0; k + 1 < length; k += 2) s.push_back(char16_t(p[k] << 8 | p[k + 1]));
        } else if (platform == 1 && language == 0) {
            rank = 1;
            for (size_t k = 0; k < length; ++k) s.push_back(char16_t(p[k]));
        }
        if (rank > bestRank) bestRank = rank, best = s;
    }
    return best;
}

bool scanFace(const File &f, uint64_t at, ScannedFace &face) {
    std::vector<uint8_t> buf;
    if (!f.read(at, 12, buf)) return false;
    const uint32_t version = be32(&buf[0]);
    if (version != 0x00010000 && version != tag("true") && version != tag("OTTO")) return false;
    const uint16_t numTables = be16(&buf[4]);
    if (numTables == 0 || numTables > 256) return false;
    if (!f.read(at + 12, size_t(16) * numTables, buf)) return false;
    std::map<uint32_t, Table> tables;
    for (uint16_t i = 0; i < numTables; ++i) {
        const uint8_t *r = &buf[size_t(16) * i];
        const Table t{be32(r + 8), be32(r + 12)};
        if (uint64_t(t.offset) + t.length > f.size()) return false;
        tables[be32(r)] = t;
    }
    const auto has = [&](const char (&t)[5]) { return tables.count(tag(t)) != 0; };
    const auto length = [&](const char (&t)[5]) { return has(t) ? tables[tag(t)].length : 0u; };
    // Outlines, and no embedded bitmaps: with bitmaps FreeType may count
    // the face as bitmap-only (colour bitmaps, or strikes beside a font
    // whose only outline is .notdef), which takes more reading to tell.
    if (!has("glyf") && !has("CFF ") && !has("CFF2")) return false;
    for (uint32_t t : {tag("CBLC"), tag("CBDT"), tag("sbix"), tag("bhed"), tag("EBLC"), tag("EBDT"),
                       tag("bloc"), tag("bdat")})
        if (tables.count(t)) return false;
    if (length("head") < 54 || length("maxp") < 6 || length("cmap") < 4 || length("hhea") < 36 ||
        length("hmtx") < 4 || length("name") < 6 || length("OS/2") < 78)
        return false;

    std::vector<uint8_t> head;
    if (!f.read(tables[tag("head")].offset, 54, head)) return false;
    const uint16_t unitsPerEm = be16(&head[18]);
    if (unitsPerEm < 16 || unitsPerEm > 16384) return false;

    const Table os2t = tables[tag("OS/2")];
    std::vector<uint8_t> os2;
    if (!f.read(os2t.offset, os2t.length < 100 ? os2t.length : 100, os2)) return false;
    const uint16_t os2Version = be16(&os2[0]);
    const size_t needed = os2Version >= 5 ? 100 : os2Version >= 2 ? 96 : os2Version >= 1 ? 86 : 78;
    if (os2.size() < needed) return false;
    const uint16_t fsSelection = be16(&os2[62]);
    if (os2Version == 0) {
        const uint16_t first = be16(&os2[64]);
        face.fs = first >= 0xF000 && first < 0xF100 ? 1u << 31 : 1u;
    } else {
        face.fs = be32(&os2[78]);
    }
    if (face.fs == 0) return false;  // FreeType then reads the character maps
    face.italic = (fsSelection & 512) || (fsSelection & 1);
    face.bold = (fsSelection & 32) != 0;

    const Table namet = tables[tag("name")];
    if (namet.length > (1u << 20)) return false;
    std::vector<uint8_t> name;
    if (!f.read(namet.offset, namet.length, name)) return false;
    if (be16(&name[0]) != 0) return false;
    if (6 + size_t(12) * be16(&name[2]) > name.size()) return false;
    face.family = nameOf(name, 1);
    face.fullName = nameOf(name, 4);
    face.style = nameOf(name, 2);
    return !face.family.empty();
}

}  // namespace

bool scanFontFile(const std::string &path, size_t maxFaces, std::vector<ScannedFace> &faces) {
    faces.clear();
    const File f(path);
    std::vector<uint8_t> buf;
    if (!f.read(0, 12, buf)) return false;
    std::vector<uint64_t> offsets;
    if (be32(&buf[0]) == tag("ttcf")) {
        const uint32_t count = be32(&buf[8]);
        if (count == 0 || count > 4096) return false;
        const size_t n = count < maxFaces ? count : maxFaces;
        if (!f.read(12, 4 * n, buf)) return false;
        for (size_t i = 0; i < n; ++i) offsets.push_back(be32(&buf[4 * i]));
    } else {
        offsets.push_back(0);
    }
    for (uint64_t at : offsets) {
        ScannedFace face;
        if (!scanFace(f, at, face)) {
            faces.clear();
            return false;
        }
        faces.push_back(std::move(face));
    }
    return true;
}

}  // namespace vellora::gdi
