// The restore program of a split whose image is signed: the set's
// description goes into the image's signature instead of after it, so that
// the program written beside every set stays signed. docs/format.md gives
// the layout.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "format/manifest.h"

namespace morsela {

// The program file: `image` with the set's description, `manifest` and
// its footer, in an extra certificate of its signature; every length that
// encloses it, the security directory's size and the image's checksum
// mended. Empty when the image has no signature this can extend: one
// WIN_CERTIFICATE of a PKCS#7 SignedData with a certificate set and no
// description yet, in a certificate table that ends the image.
std::string ProgramWithSignedDescription(std::string_view image, const Manifest& manifest);

// The PE checksum of `file` as the image's optional header holds it: its
// 16-bit words summed with their carries folded in, the checksum field
// itself taken as 0, plus the file's length. 0 when `file` holds no image.
std::uint32_t ExecutableChecksum(std::string_view file);

}  // namespace morsela
