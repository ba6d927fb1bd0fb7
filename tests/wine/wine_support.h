// Helpers of the Wine tests: metafiles recorded with the platform's own
// recorders, files under Unicode names, and device contexts over DIB sections.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace wtest {

constexpr uint32_t kGrey = 0xFF808080u;
constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kBlue = 0xFF0000FFu;

// An enhanced metafile recorded on the screen as reference device; with a
// null frame the recorder takes the frame from what was drawn.
HENHMETAFILE recordEmf(const std::function<void(HDC)> &draw, const RECT *frame = nullptr);
std::vector<uint8_t> emfBytes(HENHMETAFILE mf);

// A Windows metafile recorded with CreateMetaFile, as bytes.
std::vector<uint8_t> recordWmf(const std::function<void(HDC)> &draw);

// The 22-byte placeable header (with its checksum) in front of `wmf`.
std::vector<uint8_t> placeable(const std::vector<uint8_t> &wmf, int16_t left, int16_t top,
                               int16_t right, int16_t bottom, uint16_t unitsPerInch = 1440);

// Left half red, right half blue, over 200 x 100 units, no outline.
void drawHalves(HDC dc);

// A fresh folder under the temporary folder, removed with its files.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::wstring &path() const { return path_; }
    // Writes `data` to path()\name and returns the full path.
    std::wstring write(const std::wstring &name, const std::vector<uint8_t> &data);

private:
    std::wstring path_;
    std::vector<std::wstring> files_;
};

// `wide` in the ANSI code page, or "" when it has no exact form there.
std::string toAnsi(const std::wstring &wide);

}  // namespace wtest
