// A metafile file as the command sees it: its bytes, its format, the header
// fields that matter, and what the library's walk over its records
// (player/record_walk.h) met: how many of each type, and where a damaged file
// stops making sense.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "vellora.h"

namespace vellora::cli {

enum class Format { Emf, PlaceableWmf, Wmf };

const char *formatName(Format f);

// Reads the whole regular file at `path` ("-": standard input), inflated
// when it is gzip data (.emz, .wmz); `*packed` is then its compressed size,
// else 0. On failure returns a reason a person can act on ("cannot open:
// permission denied", "empty file", ...).
std::string readWholeFile(const std::string &path, std::vector<uint8_t> *out,
                          size_t *packed = nullptr);

struct Scan {
    Format format = Format::Wmf;
    bool headerOk = false;         // the format's header is present and sane
    uint64_t records = 0;          // whole records inside the data (EMF: header included)
    bool ended = false;            // the end-of-file record was reached
    std::string problem;           // empty, or why the data stops making sense
    std::map<uint32_t, uint64_t> types;  // record type (EMF) or function (WMF) -> count

    // EMF
    ENHMETAHEADER emf{};
    bool emfPlus = false;          // carries EMF+ comment records
    bool emfPlusDual = false;      // ... and says the EMF records draw the same picture
    uint64_t emfPlusRecords = 0;   // EMF+ records inside those comments
    uint64_t emfPlusPainting = 0;  // ... of which paint

    uint64_t painting = 0;         // records of the format itself that paint

    // placeable WMF
    int16_t bbox[4] = {0, 0, 0, 0};  // left, top, right, bottom in units of `unitsPerInch`
    uint16_t unitsPerInch = 0;

    // WMF (placeable or plain)
    uint16_t wmfVersion = 0;
    uint32_t wmfSizeWords = 0;
    uint16_t wmfObjects = 0;
    uint32_t wmfMaxRecordWords = 0;
};

// Walks the data once, through the library; never reads outside it.
Scan scanMetafile(const uint8_t *data, size_t size);

// Why a file whose playback painted nothing painted nothing, as far as its
// records tell.
std::string whyNothingDrawn(const Scan &scan);

// The metafile bytes the platform calls take (without a placeable header).
struct Payload {
    const uint8_t *data;
    size_t size;
};
Payload payloadOf(const Scan &scan, const std::vector<uint8_t> &bytes);

// An enhanced-metafile handle for the file's data, made as the library's
// file loader makes it; null when the data is not a metafile.
HENHMETAFILE makeHandle(const Scan &scan, const std::vector<uint8_t> &bytes);

// The picture's physical size and aspect ratio, from the same header fields
// the library's file loader reads.
struct Picture {
    double widthInches = 0, heightInches = 0;  // absolute; 0 when unknown
    float aspect = 1.0f;                       // width / height, as the library holds it
    RECT frame{};                              // EMF frame (0.01 mm) the size comes from
};
Picture pictureOf(const Scan &scan, HENHMETAFILE handle);

}  // namespace vellora::cli
