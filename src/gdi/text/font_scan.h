// What the face list needs to know of a font file, read from its tables.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vellora::gdi {

struct ScannedFace {
    std::u16string family, fullName, style;  // name IDs 1, 4 and 2
    uint32_t fs = 0;                         // code-page bits
    bool bold = false, italic = false;
};

// Reads the faces of a TrueType or OpenType font file or collection (at
// most `maxFaces`) straight from their tables: a few small reads, where
// opening each face with FreeType parses much more. Gives what FreeType
// would report. Returns false for anything else and for anything out of the
// ordinary (a missing or short table, embedded bitmaps, a name table of
// format 1, no code-page bits), leaving such files to FreeType.
bool scanFontFile(const std::string &path, size_t maxFaces, std::vector<ScannedFace> &faces);

// The same, through FreeType: what the face list used before the scanner,
// and still uses for the files it declines. False where FreeType cannot
// open the face or it is not a scalable SFNT face.
bool faceWithFreeType(const std::string &path, long index, ScannedFace &face, long *faceCount);

}  // namespace vellora::gdi
