// Piece sizes for the limits senders know: a mail service's, a chat's, a
// disc's, a FAT32 stick's, and a count of equal parts. The window offers
// them beside its size field and the command line by short name; both
// take the size in bytes from here, always a whole number of kilobytes of
// 1,000 bytes, as the window's size field holds them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace morsela {

// The smallest piece a preset gives, the window's and the command line's
// smallest: equal parts of a small file are fewer than asked rather than
// smaller than this.
constexpr std::uint64_t kSmallestPresetPiece = 10'000;

// The header a mail preset leaves room for: the message's own lines and
// the attachment's MIME part header.
constexpr std::uint64_t kMailHeader = 4096;

// Where a piece must fit.
enum class PresetKind {
  kFile,        // a piece of at most `limit` - `spare` bytes
  kMail,        // a piece whose mail attachment (MailSize) is at most `limit`
  kEqualParts,  // `limit` pieces of the chosen file
};

struct SizePreset {
  const char* name;   // the command line's short name: "mail25"; "" for equal parts
  const char* label;  // the window's text: "Mail (25 MB)", "2 equal parts"
  PresetKind kind;
  std::uint64_t limit;  // bytes, or for equal parts the count of parts
  // Bytes the medium keeps for its file system and for the restore program
  // and page beside the first piece.
  std::uint64_t spare;
};

// The presets in the window's order (after its "Any size"), and their count.
extern const SizePreset kSizePresets[];
extern const std::size_t kSizePresetCount;

// The bytes a mail carries for an attachment of `bytes` bytes: base64 (4
// characters for each 3 bytes or part of them) in lines of 76 characters,
// each ended by CR LF, plus kMailHeader.
std::uint64_t MailSize(std::uint64_t bytes);

// The size of a piece, in bytes, that cuts the file `path` of `length`
// bytes (its name header counts, as in PieceCount) into `parts`
// pieces: the smallest whole number of kilobytes that gives at most that
// many, and never below kSmallestPresetPiece. Exactly `parts` pieces where
// whole kilobytes allow it (not for a few kilobytes into many parts). 0
// for no parts, a source too small to split, or a size beyond the window's
// field (2^32 - 1 kilobytes).
std::uint64_t EqualPartsSize(std::uint64_t length, const std::string& path, std::uint64_t parts);

// The piece size in bytes that `preset` gives: for a limit, the largest
// whole number of kilobytes whose piece fits it; for equal parts, as
// EqualPartsSize for the file (0 where that gives none).
std::uint64_t PresetPieceSize(const SizePreset& preset, std::uint64_t length, const std::string& path);

// The preset of the short name `name` (any case); nullptr for none.
const SizePreset* FindPreset(const std::string& name);

}  // namespace morsela
