// Recovery pieces: R files beside a set from which the restore rebuilds any
// R of the set's pieces and recovery pieces that are missing or damaged.
// Recovery piece j (0-based) is named B#.r(j+1), a name no piece number
// takes, and holds a header with the set's whole manifest (so that a set
// whose restore program did not come along is still described) and then
// the recovery data of the erasure code (erasure_code.h) over the pieces as
// written, each padded with zeros to the recovery data's size.
// docs/format.md gives the layout byte by byte.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "format/manifest.h"
#include "platform/platform.h"

namespace morsela {

// The header before the manifest: magic, version, index, the manifest's
// length and CRC, the header's own CRC.
constexpr std::size_t kRecoveryHeaderSize = 32;

// The file name of recovery piece j (0-based) of the set of `baseName`.
std::string RecoveryPieceFileName(const std::string& baseName, std::uint64_t j);

// j (0-based) when `name` is baseName + "#.r" + a number from 1 without
// leading zeros, compared without regard to case; nothing otherwise.
std::optional<std::uint64_t> RecoveryPieceNumber(const std::string& name, const std::string& baseName);

// The bytes before the recovery data of recovery piece `index` of the set
// `manifest` describes (whose recovery CRCs are complete).
std::string EncodeRecoveryHead(const Manifest& manifest, std::uint64_t index);

// Where the recovery data begins in a recovery piece of that set, and the
// piece's whole length.
std::uint64_t RecoveryDataOffset(const Manifest& manifest);
std::uint64_t RecoveryPieceLength(const Manifest& manifest);

struct RecoveryRead {
  ManifestState state = ManifestState::kAbsent;  // kAbsent: no recovery piece at all
  Manifest manifest;                             // kValid only
  std::uint64_t index = 0;                       // kValid only
  std::uint32_t version = 0;                     // kNewer: the version found
};

// Reads the head of a recovery piece, bounding every length by the file's
// size before anything is allocated.
RecoveryRead ReadRecoveryHead(InputFile& file);

// The fixed part of a recovery piece's head, whose own CRC held: enough to
// tell which manifest it carries without reading that.
struct RecoveryHeadFields {
  std::uint32_t version = 0;
  std::uint64_t index = 0;
  std::uint64_t manifestLength = 0;
  std::uint32_t manifestCrc = 0;
};
// False when the file is no recovery piece (or could not be read).
bool ReadRecoveryHeadFields(InputFile& file, RecoveryHeadFields& fields);

// The length and CRC of `manifest`'s bytes as a recovery piece's head
// gives them.
std::pair<std::uint64_t, std::uint32_t> ManifestBodyKey(const Manifest& manifest);

}  // namespace morsela
