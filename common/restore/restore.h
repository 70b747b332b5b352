// The restore, the same for the restore program and for Morsela.exe: which
// set (the one the restore program's manifest describes, else the one the
// names in the folder make), which refusal, the join and the replace. Each
// front end says where the set lies and what came along with it; the
// checks, their order, the messages and the clean-up are the same.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "format/manifest.h"
#include "pipeline/progress.h"
#include "platform/platform.h"
#include "restore/piece_set.h"

namespace morsela {

extern const char kNoSplitFileFound[];
extern const char kFileNotFound[];
extern const char kInvalidFileName[];
extern const char kSplitFileDamaged[];

// How a restore ends: the restore program's exit codes.
constexpr int kExitRestored = 0;
constexpr int kExitRefused = 1;  // after a message
constexpr int kExitStopped = 2;  // stopped by the user, nothing written
// Not an exit code: the pieces' folder cannot take the file and the caller
// asked to be told rather than refused (no message was shown).
constexpr int kNoRoomBesideThePieces = 3;

// Where a set lies and what came along with it.
struct SetSource {
  std::string folder;       // the pieces' folder, ending in a separator
  std::string program;      // the restore program file, whose manifest describes the set; empty when none came along
  std::string programName;  // its name in the folder, which the file restored must not take
  std::string baseName;     // the pieces' base name, where no manifest tells it
  // The set's description that the front end brings with it (the restore
  // page carries its set's), used where the restore program's would be
  // when no program file is given; `carriedBy` names what carried it.
  std::optional<Manifest> carried;
  std::string carriedBy;
};

// What a look at a set finds before anything of it is read.
struct SetView {
  // Why no restore can go on whatever the pieces hold (the restore
  // program's file or the folder cannot be read, the manifest is damaged
  // or of an unknown format); nothing when none of that.
  std::optional<Refusal> refusal;
  // The set as the folder holds it, described by the restore program's
  // manifest where it carries one; nullptr after a refusal.
  std::unique_ptr<PieceSet> set;
};

// Looks at the set `source` gives: reads the manifest of the restore
// program that came along (as data, never running it) and searches the
// folder for the pieces.
SetView LookAtSet(const SetSource& source);

struct RestoreOptions {
  Progress* progress = nullptr;  // hears of every block and may stop the restore
  // Where the file goes: empty for the pieces' folder, under its stored name.
  std::string output;
  // When the pieces' folder cannot take the file, end with
  // kNoRoomBesideThePieces instead of refusing.
  bool tellWhenNoRoom = false;
  // Check only: every piece is read and checked and lost ones rebuilt as
  // for a restore, but no file is written; the rebuilt pieces' bytes go to
  // `rebuiltTo` (when given) at their places in the file, so that a caller
  // can compose the file from the pieces and them.
  bool checkOnly = false;
  OutputFile* rebuiltTo = nullptr;
};

struct RestoreResult {
  int code = kExitRefused;
  std::string name;          // the stored name, once known
  std::uint64_t bytes = 0;   // the file's length, once known
  bool checked = false;      // a manifest gave every piece's CRC, and every byte was checked
  std::uint64_t rebuilt = 0;  // the pieces rebuilt from recovery data
  std::vector<std::uint64_t> rebuiltPieces;  // their numbers, in order, once restored
  std::uint64_t headerSize = 0;  // the name header's bytes before the data, once known
};

// "2 pieces rebuilt from recovery data": what a front end says after a
// restore that rebuilt `pieces` pieces.
std::string RebuiltText(std::uint64_t pieces);

// Runs one restore through the platform in force. Nothing is written unless
// the pieces form a complete set with a valid stored name; the output goes
// to a new temporary file first and replaces a file of the stored name only
// once every byte was written, checked and put on the disk. Messages name
// the pieces concerned on a second line.
RestoreResult Restore(const SetSource& source, const RestoreOptions& options);

}  // namespace morsela
