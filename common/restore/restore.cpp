#include "restore/restore.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "format/manifest.h"
#include "format/pieces.h"
#include "format/recovery_piece.h"
#include "format/stored_name.h"
#include "platform/platform.h"
#include "restore/join.h"
#include "restore/output.h"
#include "restore/descriptions.h"
#include "restore/piece_set.h"
#include "restore/rebuild.h"
#include "text/case_fold.h"
#include "text/messages.h"
#include "text/text.h"
#include "text/utf8.h"

namespace morsela {

namespace {

// A stored name is at most 255 UTF-16 units, three bytes each in UTF-8 at
// most, so its 0 byte lies within this many bytes.
constexpr std::size_t kLongestHeader = 1024;

RestoreResult Refused(const std::string& message) {
  RestoreResult refused;
  refused.messages.push_back(message);
  return refused;
}
RestoreResult Refused(const Refusal& refusal) { return Refused(WithDetail(refusal.text, refusal.detail)); }

// The stored name of the head piece and the size of its header (the name and
// its 0 byte, or the whole piece when it holds no 0 byte). Nothing when the
// piece cannot be read; a name longer than any valid one is cut, so that
// the check refuses it.
std::optional<std::pair<std::string, std::size_t>> ReadStoredName(const std::string& path) {
  std::unique_ptr<InputFile> head = System().OpenRead(path);
  if (!head) return std::nullopt;
  char bytes[kLongestHeader + 1];
  const std::size_t got = head->Read(bytes, sizeof bytes);
  if (head->Failed()) return std::nullopt;
  const char* zero = static_cast<const char*>(std::memchr(bytes, 0, got));
  if (zero) return std::make_pair(std::string(bytes, std::size_t(zero - bytes)), std::size_t(zero - bytes) + 1);
  // No 0 byte: the name is the whole piece, which then gives no data.
  return std::make_pair(std::string(bytes, got), got);
}

// The file name that stored name bytes give: UTF-8 as splitters write it
// now, or the legacy code page of a splitter that wrote that.
std::string FileNameFrom(const std::string& stored) {
  return IsValidUtf8(stored) ? stored : System().DecodeLegacyName(stored);
}

// The file whose zone mark the restored file takes: the first piece there.
std::string MarkedPiece(const PieceSet& set, const std::vector<std::uint64_t>& lost) {
  for (std::uint64_t k = 0; k < set.Count(); ++k) {
    if (std::find(lost.begin(), lost.end(), k) == lost.end()) return set.At(k).name;
  }
  // Every piece was rebuilt: from recovery pieces, of which one is there.
  for (std::uint64_t j = 0; j < set.RecoveryCount(); ++j) {
    if (const std::optional<std::string> name = set.RecoveryPiece(j)) return *name;
  }
  return set.At(0).name;
}

// Writes the set into a temporary file, rebuilding what was lost of it
// from its recovery pieces, then puts that in place of the stored name.
// `header`: the name header the head piece must begin with, when the
// set's manifest tells it; empty otherwise.
RestoreResult WriteFile(const SetSource& source, const RestoreOptions& options, const PieceSet& set,
                      const std::string& stored, std::uint64_t headerSize, const std::string& header) {
  RestoreResult result;
  result.name = FileNameFrom(stored);
  std::vector<std::string> taken;
  if (!source.programName.empty()) taken.push_back(source.programName);
  if (!IsAcceptableStoredName(result.name, taken) || set.Holds(result.name))
    return Refused(WithDetail(kInvalidFileName, result.name));

  std::uint64_t total = 0;
  for (std::uint64_t k = 0; k < set.Count(); ++k) total += set.At(k).size;
  total -= std::min<std::uint64_t>(total, headerSize);
  result.bytes = total;
  result.headerSize = headerSize;
  if (options.progress) options.progress->Begin(result.name, total);

  // A check writes no file: the join's bytes are dropped, the rebuilt ones
  // go where the caller asked.
  DroppedOutput dropped;
  const std::string target = !options.output.empty()       ? options.output
                             : !options.outputFolder.empty() ? options.outputFolder + result.name
                                                             : source.folder + result.name;
  TemporaryOutput output;
  if (!options.checkOnly && !output.Create(DirectoryOf(target))) {
    if (options.tellWhenNoRoom) {
      result.code = kNoRoomBesideThePieces;
      return result;
    }
    return Refused(WithDetail(kCannotWriteFile, result.name));
  }
  OutputFile& joinedTo = options.checkOnly ? dropped : output.file();
  OutputFile& rebuiltTo = !options.checkOnly ? output.file() : options.rebuiltTo ? *options.rebuiltTo : dropped;

  JoinResult joined =
      Join(source.folder, set, headerSize, header, joinedTo, total, options.progress, set.RecoveryCount() > 0);
  if (joined.outcome == JoinResult::Outcome::kDone && !joined.lost.empty()) {
    RebuildPieces(source.folder, set, headerSize, rebuiltTo, options.progress, total, joined);
    if (joined.outcome == JoinResult::Outcome::kDone) result.rebuilt = joined.lost.size();
  }
  JoinResult::Outcome outcome = joined.outcome;
  if (outcome == JoinResult::Outcome::kDone && !options.checkOnly &&
      !output.Finish(source.folder + MarkedPiece(set, joined.lost), target))
    outcome = JoinResult::Outcome::kWriteFailed;
  if (outcome == JoinResult::Outcome::kDone) {
    result.code = kExitRestored;
    result.checked = !header.empty();
    result.rebuiltPieces = joined.lost;
    result.damagedPieces = joined.damagedPieces;
    return result;
  }

  const bool removed = options.checkOnly || output.Discard();
  const std::string name = result.name;
  switch (outcome) {
    case JoinResult::Outcome::kStopped: result.code = kExitStopped; break;
    case JoinResult::Outcome::kReadFailed: result = Refused(WithDetail(kCannotReadFile, joined.unreadable.Text())); break;
    case JoinResult::Outcome::kDamaged: {
      const std::string more = joined.rowsNotMended ? "\n" + RowsNotMended(joined.rowsNotMended, joined.needed)
                               : joined.needed      ? "\n" + MoreNeeded(joined.needed)
                                                    : std::string();
      result = Refused(WithDetail(kSplitFileDamaged, joined.damaged.Text() + more));
      break;
    }
    default: result = Refused(WithDetail(kCannotWriteFile, name));
  }
  // As large as the whole file: one that another program holds is named.
  if (!removed) {
    result.code = kExitRefused;
    result.messages.push_back(WithDetail(kCannotWriteFile, FileNameOf(output.path())));
  }
  result.damagedPieces = std::move(joined.damagedPieces);
  return result;
}

}  // namespace

std::string RestoredText(const RestoreResult& result, const std::string& shownAs) {
  std::string bytes = FormatDecimal(result.bytes);
  for (std::size_t at = bytes.size(); at > 3; at -= 3) bytes.insert(at - 3, ",");
  std::string text = "Restored " + shownAs + ": " + bytes + (result.bytes == 1 ? " byte" : " bytes");
  if (result.checked && result.rebuilt) return text + ", every piece checked; " + RebuiltText(result.rebuilt) + ".";
  return text + (result.checked ? ", every piece checked." : ".");
}

std::string UncheckedWarning(const RestoreResult& result, bool programCame) {
  if (result.checked) return std::string();
  return programCame ? "Its content could not be checked: its restore program describes no set."
                     : "Its content could not be checked: the restore program was missing.";
}

std::string RebuiltText(std::uint64_t pieces) {
  return CountOf(pieces, "piece", "pieces") + " rebuilt from recovery data";
}

SetView LookAtSet(const SetSource& source) {
  SetView view;
  DescriptionSources sources{source.folder, source.program, source.programName, source.baseName,
                             source.carried ? &*source.carried : nullptr, source.carriedBy};
  const Descriptions descriptions = GatherDescriptions(sources);
  if (descriptions.found.empty()) {
    if (descriptions.refusal) {
      view.refusal = descriptions.refusal;
      return view;
    }
    // No description: the names make the set.
    Refusal failed;
    view.set = FindNamedSet(source.folder, source.baseName, failed);
    if (!view.set) view.refusal = failed;
    return view;
  }
  DescribedSet described = FindDescribedSet(source.folder, descriptions);
  view.refusal = std::move(described.refusal);
  view.set = std::move(described.set);
  view.alike = std::move(described.alike);
  return view;
}

RestoreResult Restore(const SetSource& source, const RestoreOptions& options) {
  SetView view = LookAtSet(source);
  if (view.refusal) return Refused(*view.refusal);
  if (!view.alike.empty()) {
    // More than one description fits the pieces' sizes: their CRCs decide.
    DescribedSet described{std::move(view.set), std::move(view.alike), std::nullopt};
    bool stopped = false;
    const std::optional<Refusal> refusal = ChooseByContent(source.folder, described, options.progress, stopped);
    if (stopped) {
      RestoreResult result;
      result.code = kExitStopped;
      return result;
    }
    if (refusal) return Refused(*refusal);
    view.set = std::move(described.set);
  }
  const PieceSet& set = *view.set;
  if (const std::optional<Refusal> refusal = set.Check()) return Refused(*refusal);
  if (const Manifest* m = set.Description())
    return WriteFile(source, options, set, m->storedName, m->storedName.size() + 1, m->storedName + '\0');

  const auto stored = ReadStoredName(source.folder + set.At(0).name);
  if (!stored) return Refused(WithDetail(kCannotReadFile, set.At(0).name));
  return WriteFile(source, options, set, stored->first, stored->second, std::string());
}

}  // namespace morsela
