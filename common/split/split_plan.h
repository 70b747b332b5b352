// A look at a split before anything is written: what the source is, how
// many pieces it makes and under which names, what lies in the way of them
// and whose it is, and the refusal that comes first. The plan holds the
// source open so that no other program writes to it until the split has
// read it. Nothing here shows a message or asks: the front ends do, from
// the plan.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace morsela {

// What the user asked for.
struct SplitLook {
  // The source as the set is named from it: the pieces lie beside it.
  std::string path;
  // The name the system gave the source, by which it is found and read,
  // when `path` is a lower-cased form of it; empty for `path` itself.
  std::string source;
  std::uint64_t pieceSize = 0;  // bytes, from 1 on
  std::uint64_t recovery = 0;   // the count of recovery pieces
};

struct SplitPlan {
  // Why the split cannot be made: the message, its second line naming
  // what it concerns; nothing when the split can go on.
  std::optional<std::string> refusal;
  // The question to ask before anything there is replaced, naming the
  // files and whose they are where that is known; empty when nothing is
  // in the way but the earlier set of this same source.
  std::string question;

  // The rest holds once there is no refusal.
  std::string named;    // the path the set is named from, in the source's real folder
  std::uint64_t pieceSize = 0;
  std::uint64_t count = 0;     // pieces
  std::uint64_t recovery = 0;  // recovery pieces
  std::string program;  // full path of the restore program to write
  std::string page;     // full path of the restore page to write
  std::string_view image, pageTemplate;  // what those two are made from
  // The source, open so that no other program writes to it, and its stamp
  // when the plan was made: the split vouches for this version of it.
  std::unique_ptr<InputFile> source;
  std::string sourcePath;  // its full path, for a message about it
  FileStamp stamp;
  // The bytes read and written at a time (see bench/ for the choice), even
  // (the recovery sums take whole words of a block); the tests make it
  // small to cut small pieces in many blocks.
  std::size_t blockSize = std::size_t(1) << 20;
};

// Looks at the split `look` asks for, in this order of refusals: a source
// that is not there ("Pathname incorrect"), a folder or a file under 1,000
// bytes ("File Too Small"), no restore program or page to write ("Cannot
// Write File !"), a source that cannot be opened ("Cannot Read File !"),
// more pieces than recovery pieces can cover ("Too Many Pieces !"), a
// folder that cannot be searched through, a name in the way that must not
// be replaced.
SplitPlan PlanSplit(const SplitLook& look);

}  // namespace morsela
