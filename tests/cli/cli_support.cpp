#include "cli_support.h"

#include <fcntl.h>
#include <signal.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace clitest {

namespace {

[[noreturn]] void execCommand(const std::vector<std::string> &args, const std::string &cwd) {
    if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(126);
    std::vector<char *> argv;
    std::string exe = VELLORA_CLI;
    argv.push_back(exe.data());
    std::vector<std::string> copy = args;
    for (std::string &a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(exe.c_str(), argv.data());
    ::_exit(127);
}

int waitStatus(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

namespace {

Outcome run(const std::vector<std::string> &args, const std::string &cwd, bool asNobody,
            const std::string &inPath) {
    TempDir capture;
    const std::string outPath = capture / "out", errPath = capture / "err";
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int in = ::open(inPath.c_str(), O_RDONLY);
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0) ::_exit(126);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (asNobody && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(126);
        execCommand(args, cwd);
    }
    Outcome r;
    if (pid < 0) return r;
    r.status = waitStatus(pid);
    r.out = readFile(outPath);
    r.err = readFile(errPath);
    return r;
}

}  // namespace

Outcome vellora(const std::vector<std::string> &args, const std::string &cwd, bool asNobody) {
    return run(args, cwd, asNobody, "/dev/null");
}

Outcome velloraWithInput(const std::vector<std::string> &args, const std::vector<uint8_t> &input) {
    TempDir in;
    writeFile(in / "stdin", input);
    return run(args, {}, false, in / "stdin");
}

Outcome velloraInterrupted(const std::vector<std::string> &args,
                           const std::function<bool()> &ready) {
    TempDir capture;
    const std::string outPath = capture / "out", errPath = capture / "err";
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0) ::_exit(126);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        execCommand(args, {});
    }
    Outcome r;
    if (pid < 0) return r;
    for (int i = 0; i < 6000 && !ready(); ++i) ::usleep(10000);
    ::kill(pid, SIGINT);
    r.status = waitStatus(pid);
    r.out = readFile(outPath);
    r.err = readFile(errPath);
    return r;
}

Outcome velloraOnTerminal(const std::vector<std::string> &args, const std::string &cwd) {
    Outcome r;
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return r;
    const std::string slaveName = ::ptsname(master);
    TempDir capture;
    const std::string outPath = capture / "out";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(master);
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(slaveName.c_str(), O_RDWR | O_NOCTTY);
        if (in < 0 || out < 0 || err < 0) ::_exit(126);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::setenv("TERM", "xterm", 1);
        execCommand(args, cwd);
    }
    if (pid < 0) {
        ::close(master);
        return r;
    }
    // Read until the last holder of the terminal's other end has gone.
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n > 0) {
            r.err.append(buf, size_t(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;
    }
    ::close(master);
    r.status = waitStatus(pid);
    r.out = readFile(outPath);
    return r;
}

namespace {

bool finishRead(png_image *image, Image *out) {
    out->hasAlpha = (image->format & PNG_FORMAT_FLAG_ALPHA) != 0;
    image->format = PNG_FORMAT_RGBA;
    out->width = int(image->width);
    out->height = int(image->height);
    out->rgba.assign(PNG_IMAGE_SIZE(*image), 0);
    const bool ok = png_image_finish_read(image, nullptr, out->rgba.data(), 0, nullptr) != 0;
    png_image_free(image);
    return ok;
}

}  // namespace

bool readPng(const std::string &path, Image *out) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    return finishRead(&image, out);
}

bool readPngBytes(const std::string &bytes, Image *out) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return false;
    return finishRead(&image, out);
}

TempDir::TempDir() {
    const char *base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/vellora-cli-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back(0);
    if (::mkdtemp(buf.data())) path_ = buf.data();
}

TempDir::~TempDir() {
    if (path_.empty()) return;
    std::error_code ec;
    // Give back permissions a test took away, so that everything can go.
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(path_, ec);
}

void writeFile(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

std::string readFile(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

bool exists(const std::string &path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

std::vector<std::string> listDir(const std::string &path) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

namespace {
void put16(std::vector<uint8_t> &v, uint16_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
void put32(std::vector<uint8_t> &v, uint32_t x) {
    put16(v, uint16_t(x));
    put16(v, uint16_t(x >> 16));
}
}  // namespace

std::vector<uint8_t> wmfBytes(
    const std::vector<std::pair<uint16_t, std::vector<int16_t>>> &records) {
    std::vector<uint8_t> body;
    uint32_t maxWords = 3;
    for (const auto &[function, params] : records) {
        const uint32_t words = uint32_t(3 + params.size());
        maxWords = std::max(maxWords, words);
        put32(body, words);
        put16(body, function);
        for (int16_t p : params) put16(body, uint16_t(p));
    }
    put32(body, 3);
    put16(body, 0);
    std::vector<uint8_t> out;
    put16(out, 1);
    put16(out, 9);
    put16(out, 0x0300);
    put32(out, uint32_t(9 + body.size() / 2));
    put16(out, 4);  // objects
    put32(out, maxWords);
    put16(out, 0);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

std::vector<uint8_t> placeable(const std::vector<uint8_t> &wmf, int16_t w, int16_t h,
                               uint16_t unitsPerInch) {
    std::vector<uint8_t> out;
    put32(out, 0x9AC6CDD7u);
    put16(out, 0);
    put16(out, 0), put16(out, 0), put16(out, uint16_t(w)), put16(out, uint16_t(h));
    put16(out, unitsPerInch);
    put32(out, 0);
    put16(out, 0);  // checksum, not verified by anyone here
    out.insert(out.end(), wmf.begin(), wmf.end());
    return out;
}

}  // namespace clitest
