#include "restore/chosen_set.h"

#include <memory>
#include <vector>

#include "format/manifest.h"
#include "format/pieces.h"
#include "format/recovery_piece.h"
#include "platform/platform.h"
#include "restore/descriptions.h"
#include "text/text.h"

namespace morsela {

namespace {

// The name of the regular file `path` as its folder lists it; empty when
// there is none.
std::string ListedName(const std::string& path) {
  const std::vector<DirEntry> found = System().Find(path);
  return found.empty() || found.front().isDirectory ? std::string() : found.front().name;
}

// The set's restore program among `base`.exe and `base`.unsplit.exe (the
// name a split gives it when the first is the source's own): only a file
// whose footer says it carries a description is one. Empty when neither is.
std::string RestoreProgramThere(const std::string& folder, const std::string& base) {
  for (const std::string& name : {base + ".exe", base + ".unsplit.exe"}) {
    const std::string listed = ListedName(folder + name);
    if (listed.empty()) continue;
    std::unique_ptr<InputFile> file = System().OpenRead(folder + listed);
    if (file && ReadManifest(*file).footer) return listed;
  }
  return std::string();
}

}  // namespace

std::optional<SetSource> SetOfChosenFile(const std::string& path) {
  const std::string name = ListedName(path), folder = DirectoryOf(path);
  if (name.empty()) return std::nullopt;

  // A piece or a recovery piece: its base name ends before "#." and the
  // first dot. Without the restore program, the head piece or a
  // description in a recovery piece stands for the set.
  const std::size_t dot = name.find('.');
  if (dot != std::string::npos && dot > 0 && name[dot - 1] == '#') {
    const std::string base = name.substr(0, dot - 1);
    if (PieceNumber(name, base) || RecoveryPieceNumber(name, base)) {
      const std::string program = RestoreProgramThere(folder, base);
      if (!program.empty()) return SetSource{folder, folder + program, program, base, std::nullopt, {}};
      SetSource source{folder, {}, {}, base, std::nullopt, {}};
      if (PieceNumber(name, base) == 0u || !ListedName(folder + PieceFileName(base, 0)).empty()) return source;
      const Descriptions there = GatherDescriptions({folder, {}, {}, base, nullptr, {}});
      if (!there.found.empty() || there.refusal) return source;
      return std::nullopt;
    }
  }

  // A restore program that Morsela wrote: its file ends in a manifest.
  std::unique_ptr<InputFile> file = System().OpenRead(folder + name);
  const ManifestState state = file ? ReadManifest(*file).state : ManifestState::kAbsent;
  if (state != ManifestState::kValid && state != ManifestState::kNewer) return std::nullopt;
  return SetSource{folder, folder + name, name, BaseNameOf(name), std::nullopt, {}};
}

}  // namespace morsela
