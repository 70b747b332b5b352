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
#include "text/messages.h"

namespace morsela {

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
  // A description the front end carries itself (the restore page carries
  // its set's), and the name of the file that holds it.
  std::optional<Manifest> carried;
  std::string carriedBy;
};

// What a look at a set finds before anything of it is read.
struct SetView {
  // Why no restore can go on whatever the pieces hold (the restore
  // program's file or the folder cannot be read, the manifest is damaged
  // or of an unknown format, the pieces are of another split than the one
  // described); nothing when none of that.
  std::optional<Refusal> refusal;
  // The set as the folder holds it, described by the description its
  // pieces fit where there is one; nullptr after a refusal.
  std::unique_ptr<PieceSet> set;
  // Sets of other descriptions there that the pieces fit as well by their
  // count and sizes: the restore reads the pieces' CRCs to choose.
  std::vector<std::unique_ptr<PieceSet>> alike;
};

// Looks at the set `source` gives: gathers every description of it there
// (of the restore program that came along, read as data and never run,
// the one carried, the other restore programs of its names and its
// recovery pieces), takes the one the pieces fit, and searches the folder
// for the pieces.
SetView LookAtSet(const SetSource& source);

struct RestoreOptions {
  Progress* progress = nullptr;  // hears of every block and may stop the restore
  // Where the file goes: empty for the pieces' folder, under its stored name.
  std::string output;
  // Where `output` is empty: the folder it goes into, ending in a
  // separator, under its stored name; empty for the pieces' folder.
  std::string outputFolder;
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
  // The pieces found whole in size but not in content, whether the restore
  // went on (rebuilding them) or not.
  std::vector<std::uint64_t> damagedPieces;
  std::uint64_t headerSize = 0;  // the name header's bytes before the data, once known
  // What the front end shows, in order, after a refusal or a failure: the
  // message, its second line naming the pieces concerned; then a file
  // that could not be removed.
  std::vector<std::string> messages;
};

// "2 pieces rebuilt from recovery data": what a front end says after a
// restore that rebuilt `pieces` pieces.
std::string RebuiltText(std::uint64_t pieces);

// The line of outcome after a restore of `result.name`, shown as `shownAs`
// (the path it went to where that is not beside the pieces):
// "Restored movie.avi: 1,073,741,824 bytes, every piece checked.", with the
// pieces rebuilt where any were, or "Restored movie.avi: 25,000 bytes."
// where its content could not be checked.
std::string RestoredText(const RestoreResult& result, const std::string& shownAs);

// Why the content of a restored file could not be checked, to be said
// before the line of outcome; empty where every byte was checked.
// `programCame`: a restore program without a description came along.
std::string UncheckedWarning(const RestoreResult& result, bool programCame);

// Runs one restore through the platform in force; it shows nothing, its
// result says what came of it. Nothing is written unless
// the pieces form a complete set with a valid stored name; the output goes
// to a new temporary file first and replaces a file of the stored name only
// once every byte was written, checked and put on the disk.
RestoreResult Restore(const SetSource& source, const RestoreOptions& options);

}  // namespace morsela
