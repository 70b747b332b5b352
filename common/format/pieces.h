// Naming and count rules of a piece set. The pieces of a source P are
// DirectoryOf(P) + BaseNameOf(P) + "#." + k; the head piece (k = 0) begins
// with the source's file name and a 0 byte, then the data follow; every
// piece but the last holds exactly Z = S x 1000 bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace morsela {

// The two characters between the base name and the piece number.
extern const char kPieceMarker[];

// Bytes in a kilobyte of the size field.
constexpr std::uint64_t kBytesPerKb = 1000;

// Sources shorter than this are not split.
constexpr std::uint64_t kMinimumSource = 1000;

// Full path of piece k of the source `path`.
std::string PieceName(const std::string& path, std::uint64_t k);

// Piece k's file name without the directory, as the preview lists it.
std::string PieceFileName(const std::string& baseName, std::uint64_t k);

// The number of a piece named `baseName` + "#." + decimal digits (leading
// zeros allowed), compared without regard to case; nothing for any other
// name. Numbers too large for 64 bits saturate, so they never fit a sequence.
std::optional<std::uint64_t> PieceNumber(const std::string& name, const std::string& baseName);

// The same for the names a split writes only: no leading zeros.
std::optional<std::uint64_t> WrittenPieceNumber(const std::string& name, const std::string& baseName);

// Full path of the restore program written beside the pieces:
// DirectoryOf + BaseNameOf + ".exe". When that is the source's own path
// (a source named "setup.exe"), BaseNameOf + ".unsplit.exe" instead, so the
// source is never overwritten and the program still finds the pieces.
std::string RestoreProgramName(const std::string& path);

// Full path of the restore page written beside the pieces:
// DirectoryOf + BaseNameOf + ".restore.html", or BaseNameOf +
// ".unsplit.restore.html" when that is the source's own path, as for the
// restore program.
std::string RestorePageName(const std::string& path);

// Number of pieces: 0 for a source of fewer than 1000 bytes, otherwise the
// ceiling of (n + 1 + length) / (sizeKb x 1000), n the file name's length.
std::uint64_t PieceCount(std::uint64_t length, const std::string& path, std::uint32_t sizeKb);

}  // namespace morsela
