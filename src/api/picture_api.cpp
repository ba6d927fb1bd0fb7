// Pictures of the host API: a metafile opened once, with what its headers say
// of its size, drawn as often as wanted; and the reasons a call gives.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "api/geometry.h"
#include "api/call_limits.h"
#include "api/loader.h"
#include "base/bytes.h"
#include "platform/platform.h"

using vellora::Status;

struct VelloraPicture {
    vellora::LoadedMetafile metafile;
    double widthInches = 0, heightInches = 0;
    VelloraPlaceableHeader placeable{};
};

namespace {

int code(Status s) { return static_cast<int>(s); }

Status readWhole(const char *path, std::vector<uint8_t> *out) {
    // Non-blocking, so that a FIFO cannot hang the call; only regular files.
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return Status::Open;
    struct stat st;
    Status s = Status::Ok;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        s = Status::Open;
    } else if (uint64_t(st.st_size) > vellora::limits::kMaxFileBytes) {
        s = Status::TooLarge;
    } else {
        out->resize(size_t(st.st_size));
        size_t got = 0;
        while (s == Status::Ok && got < out->size()) {
            const ssize_t r = ::read(fd, out->data() + got, out->size() - got);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) s = Status::Read;
            else got += size_t(r);
        }
    }
    ::close(fd);
    return s;
}

Status open(const uint8_t *data, size_t size, VelloraPicture **picture) {
    if (size > vellora::limits::kMaxFileBytes) return Status::TooLarge;
    auto *p = new VelloraPicture;
    p->metafile = vellora::loadMetafile(data, uint32_t(size));
    if (!p->metafile.handle) {
        delete p;
        return Status::Format;
    }
    auto fromFrame = [p](const RECT &f) {
        p->widthInches = std::fabs(double(f.right) - double(f.left)) / 2540.0;
        p->heightInches = std::fabs(double(f.bottom) - double(f.top)) / 2540.0;
    };
    switch (p->metafile.format) {
    case vellora::MetafileFormat::Enhanced: {
        RECT f;
        std::memcpy(&f, data + 24, sizeof f);
        fromFrame(f);
        break;
    }
    case vellora::MetafileFormat::Placeable: {
        VelloraPlaceableHeader &h = p->placeable;
        h.left = vellora::base::i16(data + 6);
        h.top = vellora::base::i16(data + 8);
        h.right = vellora::base::i16(data + 10);
        h.bottom = vellora::base::i16(data + 12);
        h.unitsPerInch = uint16_t(data[14] | data[15] << 8);
        // Units per inch of 0 means nothing; 1440 (twips) is what writers mean most.
        const double units = h.unitsPerInch ? h.unitsPerInch : 1440.0;
        p->widthInches = std::fabs(double(h.right) - h.left) / units;
        p->heightInches = std::fabs(double(h.bottom) - h.top) / units;
        break;
    }
    case vellora::MetafileFormat::Windows: {
        ENHMETAHEADER h{};
        if (vellora::platform::getEnhMetaFileHeader(p->metafile.handle, &h)) fromFrame(h.rclFrame);
        break;
    }
    }
    *picture = p;
    return Status::Ok;
}

}  // namespace

HENHMETAFILE vellora::metafileWithFrame(HENHMETAFILE metafile, const RECT &frame) {
    try {
        return vellora::platform::copyWithFrame(metafile, frame);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

extern "C" const char *VelloraStatusMessage(int status) {
    switch (Status(status)) {
    case Status::Ok: return "success";
    case Status::Argument: return "a null argument, or a non-finite angle or crop value";
    case Status::Open: return "the file cannot be opened or is not a regular file";
    case Status::Read: return "the file cannot be read whole";
    case Status::TooLarge: return "the data is over the 1 GiB limit";
    case Status::Format: return "not a metafile the library accepts";
    case Status::Size: return "the rectangle is empty, reversed or over the size limits";
    case Status::Crop: return "the crop window selects nothing of the picture";
    case Status::Memory: return "out of memory";
    case Status::Blend: return "the device context refuses alpha blending";
    case Status::NoSize: return "the picture's frame is empty, so it has no natural size";
    }
    return "unknown error";
}

extern "C" int VelloraOpenFile(const char *path, VelloraPicture **picture) {
    if (!picture) return code(Status::Argument);
    *picture = nullptr;
    if (!path) return code(Status::Argument);
    try {
        std::vector<uint8_t> data;
        const Status s = readWhole(path, &data);
        if (s != Status::Ok) return code(s);
        return code(open(data.data(), data.size(), picture));
    } catch (const std::bad_alloc &) {
        return code(Status::Memory);
    }
}

extern "C" int VelloraOpenMemory(const void *data, size_t size, VelloraPicture **picture) {
    if (!picture) return code(Status::Argument);
    *picture = nullptr;
    if (!data && size) return code(Status::Argument);
    static const uint8_t nothing = 0;
    try {
        // The platform keeps its own copy of the records; the headers are
        // read here, so the caller's bytes are not needed afterwards.
        return code(open(size ? static_cast<const uint8_t *>(data) : &nothing, size, picture));
    } catch (const std::bad_alloc &) {
        return code(Status::Memory);
    }
}

extern "C" void VelloraClosePicture(VelloraPicture *picture) {
    if (!picture) return;
    vellora::platform::deleteEnhMetaFile(picture->metafile.handle);
    delete picture;
}

extern "C" int VelloraPictureFormat(const VelloraPicture *picture) {
    if (!picture) return 0;
    switch (picture->metafile.format) {
    case vellora::MetafileFormat::Enhanced: return VELLORA_FORMAT_EMF;
    case vellora::MetafileFormat::Placeable: return VELLORA_FORMAT_PLACEABLE_WMF;
    case vellora::MetafileFormat::Windows: return VELLORA_FORMAT_WMF;
    }
    return 0;
}

extern "C" float VelloraPictureAspect(const VelloraPicture *picture) {
    return picture ? picture->metafile.aspect : 0.0f;
}

extern "C" int VelloraPictureSize(const VelloraPicture *picture, double dpi, int *width,
                                  int *height) {
    if (!picture || !width || !height || !(dpi > 0) || !std::isfinite(dpi))
        return code(Status::Argument);
    const double w = std::round(picture->widthInches * dpi), h = std::round(picture->heightInches * dpi);
    if (!(w >= 1 && h >= 1)) return code(Status::NoSize);
    if (w > INT32_MAX || h > INT32_MAX) return code(Status::Size);
    *width = int(w);
    *height = int(h);
    return code(Status::Ok);
}

extern "C" int VelloraPicturePlaceableHeader(const VelloraPicture *picture,
                                             VelloraPlaceableHeader *header) {
    if (!picture || !header) return code(Status::Argument);
    if (picture->metafile.format != vellora::MetafileFormat::Placeable) return code(Status::Format);
    *header = picture->placeable;
    return code(Status::Ok);
}

extern "C" HENHMETAFILE VelloraPictureMetafile(const VelloraPicture *picture) {
    return picture ? picture->metafile.handle : nullptr;
}

extern "C" int VelloraDrawPicture(HDC hdc, const VelloraPicture *picture, const RECT *rect,
                                  int32_t key, int32_t keepAspect, double angle, double x0,
                                  double y0, double x1, double y1) {
    if (!picture || !rect) return code(Status::Argument);
    RECT fitted = *rect;
    if (keepAspect & 0xFF) fitted = vellora::fitToAspect(fitted, picture->metafile.aspect);
    return code(vellora::drawMetafile(hdc, picture->metafile.handle, &fitted, key, angle, x0, y0,
                                      x1, y1));
}
