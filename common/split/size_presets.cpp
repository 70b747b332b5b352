#include "split/size_presets.h"

#include <cctype>
#include <iterator>
#include <limits>

#include "format/pieces.h"
#include "text/text.h"

namespace morsela {

namespace {

// The largest size the window's field holds: 2^32 - 1 kilobytes.
constexpr std::uint64_t kLargestFieldSize = std::uint64_t(std::numeric_limits<std::uint32_t>::max()) * kBytesPerKb;

// Room on a disc for its file system (ISO 9660 and Joliet, or UDF: well
// under 1 MB for a few files) and for the restore program and page burnt
// beside the first piece.
constexpr std::uint64_t kDiscSpare = 10'000'000;

}  // namespace

// Megabytes here are 1,000,000 bytes, the smaller of the two readings, so
// that a piece fits whichever one the service means.
const SizePreset kSizePresets[] = {
    // The large web mail services refuse a message over 25 MB or 20 MB,
    // counted after base64.
    {"mail25", "Mail (25 MB)", PresetKind::kMail, 25'000'000, 0},
    {"mail20", "Mail (20 MB)", PresetKind::kMail, 20'000'000, 0},
    // A chat's upload limit counts the file as it is.
    {"chat10", "Chat (10 MB)", PresetKind::kFile, 10'000'000, 0},
    // An 80-minute CD-R: 360,000 sectors of 2,048 bytes.
    {"cd", "CD (700 MB)", PresetKind::kFile, 737'280'000, kDiscSpare},
    // A single-layer DVD+R, the smaller of the two: 2,295,104 sectors of
    // 2,048 bytes (a DVD-R has 2,298,496). The piece is over 4 GiB: the
    // disc needs UDF, which burning programs write by default.
    {"dvd", "DVD (4.7 GB)", PresetKind::kFile, 4'700'372'992, kDiscSpare},
    // FAT32 keeps a file's length in 32 bits: 4 GiB - 1 bytes at most.
    {"fat32", "FAT32 stick (4 GB)", PresetKind::kFile, 0xFFFF'FFFF, 0},
    {"", "2 equal parts", PresetKind::kEqualParts, 2, 0},
    {"", "3 equal parts", PresetKind::kEqualParts, 3, 0},
    {"", "4 equal parts", PresetKind::kEqualParts, 4, 0},
    {"", "5 equal parts", PresetKind::kEqualParts, 5, 0},
    {"", "10 equal parts", PresetKind::kEqualParts, 10, 0},
};
const std::size_t kSizePresetCount = std::size(kSizePresets);

std::uint64_t MailSize(std::uint64_t bytes) {
  const std::uint64_t characters = (bytes / 3 + (bytes % 3 != 0)) * 4;
  const std::uint64_t lines = characters / 76 + (characters % 76 != 0);
  return characters + 2 * lines + kMailHeader;
}

std::uint64_t EqualPartsSize(std::uint64_t length, const std::string& path, std::uint64_t parts) {
  if (parts == 0 || length < kMinimumSource) return 0;
  // ceil(ceil(total / parts) / 1000) = ceil(total / (parts x 1000)),
  // without the product's overflow.
  const std::uint64_t total = FileNameOf(path).size() + 1 + length;
  const std::uint64_t share = total / parts + (total % parts != 0);
  const std::uint64_t size = (share / kBytesPerKb + (share % kBytesPerKb != 0)) * kBytesPerKb;
  if (size > kLargestFieldSize) return 0;
  return size < kSmallestPresetPiece ? kSmallestPresetPiece : size;
}

std::uint64_t PresetPieceSize(const SizePreset& preset, std::uint64_t length, const std::string& path) {
  switch (preset.kind) {
    case PresetKind::kEqualParts: return EqualPartsSize(length, path, preset.limit);
    case PresetKind::kFile: return (preset.limit - preset.spare) / kBytesPerKb * kBytesPerKb;
    case PresetKind::kMail: break;
  }
  // MailSize grows with the piece: the largest whole kilobytes that fit,
  // found by halving [low, high), low fitting and high not.
  std::uint64_t low = 0, high = preset.limit / kBytesPerKb + 1;
  while (high - low > 1) {
    const std::uint64_t middle = low + (high - low) / 2;
    (MailSize(middle * kBytesPerKb) <= preset.limit ? low : high) = middle;
  }
  return low * kBytesPerKb;
}

const SizePreset* FindPreset(const std::string& name) {
  std::string lowered = name;
  for (char& c : lowered) c = char(std::tolower(static_cast<unsigned char>(c)));
  for (const SizePreset& preset : kSizePresets)
    if (*preset.name && lowered == preset.name) return &preset;
  return nullptr;
}

}  // namespace morsela
