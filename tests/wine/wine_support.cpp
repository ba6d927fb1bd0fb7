#include "wine_support.h"

#include <cstring>

namespace wtest {

HENHMETAFILE recordEmf(const std::function<void(HDC)> &draw, const RECT *frame) {
    HDC dc = CreateEnhMetaFileW(nullptr, nullptr, frame, nullptr);
    if (!dc) return nullptr;
    draw(dc);
    return CloseEnhMetaFile(dc);
}

std::vector<uint8_t> emfBytes(HENHMETAFILE mf) {
    std::vector<uint8_t> out(GetEnhMetaFileBits(mf, 0, nullptr));
    GetEnhMetaFileBits(mf, UINT(out.size()), out.data());
    return out;
}

std::vector<uint8_t> recordWmf(const std::function<void(HDC)> &draw) {
    HDC dc = CreateMetaFileW(nullptr);
    if (!dc) return {};
    draw(dc);
    HMETAFILE mf = CloseMetaFile(dc);
    std::vector<uint8_t> out(GetMetaFileBitsEx(mf, 0, nullptr));
    GetMetaFileBitsEx(mf, UINT(out.size()), out.data());
    DeleteMetaFile(mf);
    return out;
}

std::vector<uint8_t> placeable(const std::vector<uint8_t> &wmf, int16_t left, int16_t top,
                               int16_t right, int16_t bottom, uint16_t unitsPerInch) {
    const uint16_t words[10] = {0xCDD7, 0x9AC6, 0, uint16_t(left), uint16_t(top),
                                uint16_t(right), uint16_t(bottom), unitsPerInch, 0, 0};
    uint16_t sum = 0;
    for (uint16_t w : words) sum ^= w;
    std::vector<uint8_t> out;
    for (uint16_t w : words) out.insert(out.end(), {uint8_t(w), uint8_t(w >> 8)});
    out.insert(out.end(), {uint8_t(sum), uint8_t(sum >> 8)});
    out.insert(out.end(), wmf.begin(), wmf.end());
    return out;
}

void drawHalves(HDC dc) {
    SetWindowOrgEx(dc, 0, 0, nullptr);
    SetWindowExtEx(dc, 200, 100, nullptr);
    SelectObject(dc, GetStockObject(NULL_PEN));
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
    HGDIOBJ old = SelectObject(dc, red);
    // A null pen leaves the right and bottom edges out: one unit more.
    Rectangle(dc, 0, 0, 101, 101);
    SelectObject(dc, blue);
    Rectangle(dc, 100, 0, 201, 101);
    SelectObject(dc, old);
    DeleteObject(red);
    DeleteObject(blue);
}

TempDir::TempDir() {
    wchar_t base[MAX_PATH];
    const DWORD n = GetTempPathW(MAX_PATH, base);
    // Process ids repeat from one Wine start to the next; a name in use is
    // passed over.
    static LONG counter = 0;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    do {
        path_ = std::wstring(base, n) + L"vellora-wine-" + std::to_wstring(now.QuadPart) + L"-" +
                std::to_wstring(InterlockedIncrement(&counter));
    } while (!CreateDirectoryW(path_.c_str(), nullptr) && GetLastError() == ERROR_ALREADY_EXISTS);
}

TempDir::~TempDir() {
    for (const std::wstring &f : files_) DeleteFileW(f.c_str());
    RemoveDirectoryW(path_.c_str());
}

std::wstring TempDir::write(const std::wstring &name, const std::vector<uint8_t> &data) {
    const std::wstring full = path_ + L"\\" + name;
    HANDLE h = CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        DWORD done = 0;
        if (!data.empty()) WriteFile(h, data.data(), DWORD(data.size()), &done, nullptr);
        CloseHandle(h);
        files_.push_back(full);
    }
    return full;
}

std::string toAnsi(const std::wstring &wide) {
    BOOL lossy = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, nullptr, 0,
                                      nullptr, &lossy);
    if (n <= 0 || lossy) return "";
    std::string out(size_t(n), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, &out[0], n, nullptr,
                        &lossy);
    out.resize(size_t(n) - 1);
    return lossy ? "" : out;
}

}  // namespace wtest
