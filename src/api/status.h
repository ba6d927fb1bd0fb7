// Why a drawing call failed. The exports report only success or failure; the
// native host API hands the reason on (vellora.h's VELLORA_ERROR_* values).
#pragma once

namespace vellora {

enum class Status : int {
    Ok = 0,
    Argument = 1,   // a null argument, or a non-finite angle or crop value
    Open = 2,       // the file cannot be opened, or is not a regular file
    Read = 3,       // the file cannot be read whole
    TooLarge = 4,   // the data is over the file limit
    Format = 5,     // no metafile handle can be made from the data
    Size = 6,       // the target rectangle is empty, reversed or over the limits
    Crop = 7,       // the crop window selects nothing
    Memory = 8,     // memory or a working object could not be had
    Blend = 9,      // the device context refused the blend
    NoSize = 10,    // the picture's frame is empty: it has no natural size
};

}  // namespace vellora
