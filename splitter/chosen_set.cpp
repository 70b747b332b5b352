#include "chosen_set.h"

#include <memory>
#include <vector>

#include "format/manifest.h"
#include "format/pieces.h"
#include "format/recovery_piece.h"
#include "platform/platform.h"
#include "text/text.h"

namespace morsela {

namespace {

// The name of the regular file `path` as its folder lists it; empty when
// there is none.
std::string ListedName(const std::string& path) {
  const std::vector<DirEntry> found = System().Find(path);
  return found.empty() || found.front().isDirectory ? std::string() : found.front().name;
}

}  // namespace

std::optional<SetSource> SetOfChosenFile(const std::string& path) {
  const std::string name = ListedName(path), folder = DirectoryOf(path);
  if (name.empty()) return std::nullopt;

  // A piece or a recovery piece: its base name ends before "#." and the
  // first dot. Without the restore program, the head piece or a recovery
  // piece (which carries the set's manifest) stands for the set.
  const std::size_t dot = name.find('.');
  if (dot != std::string::npos && dot > 0 && name[dot - 1] == '#') {
    const std::string base = name.substr(0, dot - 1);
    if (PieceNumber(name, base) || RecoveryPieceNumber(name, base)) {
      const std::string program = ListedName(folder + base + ".exe");
      if (!program.empty()) return SetSource{folder, folder + program, program, base};
      std::string from;
      if (!ListedName(folder + PieceFileName(base, 0)).empty() ||
          FindRecoveryManifest(folder, base, from).state != ManifestState::kAbsent)
        return SetSource{folder, {}, {}, base};
      return std::nullopt;
    }
  }

  // A restore program that Morsela wrote: its file ends in a manifest.
  std::unique_ptr<InputFile> file = System().OpenRead(folder + name);
  const ManifestState state = file ? ReadManifest(*file).state : ManifestState::kAbsent;
  if (state != ManifestState::kValid && state != ManifestState::kNewer) return std::nullopt;
  return SetSource{folder, folder + name, name, BaseNameOf(name)};
}

}  // namespace morsela
