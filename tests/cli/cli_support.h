// Running the `vellora` command as a user would, and reading what it wrote.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace clitest {

struct Outcome {
    int status = -1;  // exit status, or -1 when the command did not exit normally
    std::string out, err;
};

// Runs the command with `args` in `cwd` (empty: the test's own), standard
// input from /dev/null, and standard output and error captured. With
// `asNobody`, a test running as root runs the command as user nobody.
Outcome vellora(const std::vector<std::string> &args, const std::string &cwd = {},
                bool asNobody = false);

// As vellora(), with `input` on standard input.
Outcome velloraWithInput(const std::vector<std::string> &args, const std::vector<uint8_t> &input);

// As vellora(), sending SIGINT once `ready()` turns true (polled every 10 ms
// for up to a minute).
Outcome velloraInterrupted(const std::vector<std::string> &args,
                           const std::function<bool()> &ready);

// As vellora(), with standard error on a pseudo-terminal; `err` holds what
// the terminal received.
Outcome velloraOnTerminal(const std::vector<std::string> &args, const std::string &cwd = {});

// A decoded PNG: 8-bit RGBA whatever the file's colour type.
struct Image {
    int width = 0, height = 0;
    bool hasAlpha = false;  // the file's colour type carries alpha
    std::vector<uint8_t> rgba;
    const uint8_t *at(int x, int y) const { return &rgba[(size_t(y) * width + x) * 4]; }
};

// False when the file is missing or not a PNG.
bool readPng(const std::string &path, Image *out);
bool readPngBytes(const std::string &bytes, Image *out);

// A fresh directory, removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string operator/(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

void writeFile(const std::string &path, const std::vector<uint8_t> &bytes);
std::string readFile(const std::string &path);
bool exists(const std::string &path);
// Names in a directory, sorted, without . and ..
std::vector<std::string> listDir(const std::string &path);

// ---- small metafiles written for the tests

// A WMF (without placeable header): records of (function, 16-bit params),
// END appended.
std::vector<uint8_t> wmfBytes(const std::vector<std::pair<uint16_t, std::vector<int16_t>>> &records);
// The 22-byte placeable header for a bounding box of w x h units at
// `unitsPerInch`, before `wmf`.
std::vector<uint8_t> placeable(const std::vector<uint8_t> &wmf, int16_t w, int16_t h,
                               uint16_t unitsPerInch);

}  // namespace clitest
