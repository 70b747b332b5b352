// Which pieces make a set, as the folder holds them now, and the refusals
// that come before anything is read: pure decisions over what a search of
// the folder returns. A set described by a manifest is exactly its pieces;
// one without is whatever the names in the folder make.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "format/manifest.h"
#include "pipeline/progress.h"
#include "platform/platform.h"
#include "restore/descriptions.h"

namespace morsela {

// A piece to join: its name as the folder lists it, its size, and the CRC
// it must have when the set's manifest gives one.
struct JoinPiece {
  std::string name;
  std::uint64_t size = 0;
  std::optional<std::uint32_t> crc;
};

// What the search of the folder found of a piece. kOther: a recovery piece
// whose own description is of another split.
enum class PieceState : std::uint8_t { kPresent, kMissing, kWrongSize, kOther };

// The pieces of a set, in the order they join. Kept as compact as the set
// allows: a set of half a million pieces is no reason for half a million
// names in memory.
class PieceSet {
 public:
  virtual ~PieceSet() = default;
  virtual std::uint64_t Count() const = 0;
  virtual JoinPiece At(std::uint64_t k) const = 0;
  virtual PieceState State(std::uint64_t k) const = 0;
  // True when `name` is one of the pieces, compared without regard to case.
  virtual bool Holds(const std::string& name) const = 0;
  // Why the set cannot be joined as the folder holds it; nothing when it
  // can: "No Split File Found !" or "File Not Found !" naming the missing
  // pieces, "Split File Damaged !" naming those of a wrong size. A set
  // with recovery pieces can be joined while no more pieces are missing
  // or of a wrong size than it has recovery pieces of the right size;
  // beyond that, a second line says how many more would be needed. Where
  // the set has more than one row of stripes, a piece of a wrong size
  // still gives the rows it holds whole: only the missing ones count.
  virtual std::optional<Refusal> Check() const = 0;
  // The manifest that describes the set; nullptr where the names alone do.
  virtual const Manifest* Description() const { return nullptr; }
  // The recovery pieces the manifest counts; the name of recovery piece j
  // where the folder holds it in the right size, and what the search of
  // the folder found of it.
  virtual std::uint64_t RecoveryCount() const { return 0; }
  virtual std::optional<std::string> RecoveryPiece(std::uint64_t j) const {
    (void)j;
    return std::nullopt;
  }
  virtual PieceState RecoveryState(std::uint64_t j) const {
    (void)j;
    return PieceState::kMissing;
  }
};

// The set `manifest` describes, as `folder` (ending in a separator) holds
// it: exactly pieces 0 to C - 1 of its base name, each of the size it
// gives, and its recovery pieces 1 to R; pieces numbered C or more are not
// the set's. Nothing, and
// `failed` says why, when the folder could not be searched.
std::unique_ptr<PieceSet> FindManifestSet(const std::string& folder, Manifest manifest, Refusal& failed);

// The set of the description that the pieces in `folder` fit, from one
// search of it, where `descriptions` found any:
// - a description fits when every piece there of a number it counts has
//   the size it gives, and no piece continues the set beyond its count
//   (piece C there, of at most a piece's size, after a piece C - 1 that
//   is whole or missing: the pieces are of a longer split);
// - with one description, its set, refused only when pieces continue it;
// - with several, the one that fits; where several fit alike, they are
//   all handed back and their CRCs decide (ChooseByContent); where none
//   does, a refusal, and nothing is rebuilt toward any of them.
// A recovery piece belongs to a set only where its own description is the
// set's (or its head is damaged, when its data's CRC decides).
struct DescribedSet {
  std::unique_ptr<PieceSet> set;
  std::vector<std::unique_ptr<PieceSet>> alike;
  std::optional<Refusal> refusal;
};
DescribedSet FindDescribedSet(const std::string& folder, const Descriptions& descriptions);

// Reads every piece of `described.set` of the right size and keeps, of it
// and `described.alike`, the one whose CRCs the pieces have: in
// `described.set`, with `alike` emptied. A refusal where none has them,
// or where those that have them describe different files (the folder
// cannot tell which split it holds). `progress` hears of the reading and
// may stop it (`stopped`).
std::optional<Refusal> ChooseByContent(const std::string& folder, DescribedSet& described, Progress* progress,
                                       bool& stopped);

// The set the names in `folder` make for `baseName`, where no manifest
// tells: every piece of that base name, numbered 0, 1, 2, ... without a
// gap, shaped as a split leaves them.
std::unique_ptr<PieceSet> FindNamedSet(const std::string& folder, const std::string& baseName, Refusal& failed);

// The line under a refusal that says how many more pieces or recovery
// pieces a set with recovery pieces would need.
std::string MoreNeeded(std::uint64_t count);
// The line under the refusal of a set of more than one row of stripes:
// how many rows could not be mended, and how many more recovery pieces
// the worst of them would have needed.
std::string RowsNotMended(std::uint64_t rows, std::uint64_t count);

// The rules for sets without a manifest, on their own.
struct Piece {
  std::string name;  // as the directory stores it
  std::uint64_t number = 0;
  std::uint64_t size = 0;
};

// The regular files among `entries` that are pieces of `baseName`, sorted
// stably by number (entries with one number keep the order found).
std::vector<Piece> CollectPieces(const std::vector<DirEntry>& entries, const std::string& baseName);

// True when the pieces are numbered 0, 1, 2, ... without gap or repeat.
bool IsUnbrokenSequence(const std::vector<Piece>& pieces);

// True when every piece but the last holds as many bytes as the head piece
// and the last no more than that: the shape a split leaves.
bool HasSplitShape(const std::vector<Piece>& pieces);

}  // namespace morsela
