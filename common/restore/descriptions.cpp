#include "restore/descriptions.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "format/pieces.h"
#include "format/recovery_piece.h"
#include "platform/platform.h"
#include "text/case_fold.h"
#include "text/messages.h"
#include "text/text.h"

namespace morsela {

namespace {

// The descriptions as they are found, each with the key a recovery piece's
// head gives for it.
class Gathering {
 public:
  explicit Gathering(Descriptions& out) : out_(out) {}

  // Adds `manifest` unless it is there already; its index in `found`, or
  // kNotWeighed when there is no room for another.
  std::size_t Add(Manifest manifest, const std::string& holder) {
    const auto key = ManifestBodyKey(manifest);
    const auto known = std::find(keys_.begin(), keys_.end(), key);
    if (known != keys_.end()) return std::size_t(known - keys_.begin());
    if (out_.found.size() == kMostDescriptions) return Descriptions::kNotWeighed;
    keys_.push_back(key);
    out_.found.push_back({std::move(manifest), holder});
    return out_.found.size() - 1;
  }

  // The index of the description whose bytes have this length and CRC.
  std::optional<std::size_t> Known(std::pair<std::uint64_t, std::uint32_t> key) const {
    const auto known = std::find(keys_.begin(), keys_.end(), key);
    if (known == keys_.end()) return std::nullopt;
    return std::size_t(known - keys_.begin());
  }

  bool full() const { return out_.found.size() == kMostDescriptions; }

  // A file meant to describe the set whose description cannot serve: the
  // first one is told of when nothing else serves, one of a later format
  // before any other, since a newer Morsela would serve.
  void Unusable(const char* text, const std::string& detail) {
    if (!unusable_) unusable_ = Refusal{text, detail};
  }
  void Newer(const std::string& holder, std::uint32_t version) {
    if (newer_) return;
    newer_ = true;
    unusable_ = Refusal{kSplitFileDamaged,
                        holder + " (set description of format " + FormatDecimal(version) + ", unknown here)"};
  }

  void Close() {
    if (out_.found.empty()) out_.refusal = unusable_;
  }

 private:
  Descriptions& out_;
  std::vector<std::pair<std::uint64_t, std::uint32_t>> keys_;
  std::optional<Refusal> unusable_;
  bool newer_ = false;
};

// The regular file `name` in `folder` as the folder lists it; empty when
// there is none.
std::string Listed(const std::string& folder, const std::string& name) {
  for (const DirEntry& entry : System().Find(folder + name))
    if (!entry.isDirectory) return entry.name;
  return std::string();
}

// The restore programs of the set's names that did not come along as its
// program: only a file whose footer says it carries a description is one.
void GatherPrograms(const DescriptionSources& sources, const std::string& base, Gathering& gathering) {
  for (const std::string& name : {base + ".exe", base + ".unsplit.exe"}) {
    const std::string listed = Listed(sources.folder, name);
    if (listed.empty() || EqualsNoCase(listed, sources.programName)) continue;
    std::unique_ptr<InputFile> file = System().OpenRead(sources.folder + listed);
    if (!file) continue;
    ManifestRead read = ReadManifest(*file);
    if (read.state == ManifestState::kValid && EqualsNoCase(read.manifest.baseName, base))
      gathering.Add(std::move(read.manifest), listed);
    else if (read.state == ManifestState::kNewer)
      gathering.Newer(listed, read.version);
  }
}

// Each recovery piece's description, read whole only when no recovery
// piece before it carried the same one.
void GatherRecoveryPieces(const DescriptionSources& sources, const std::string& base, Descriptions& out,
                          Gathering& gathering) {
  std::vector<DirEntry> entries;
  const std::string pattern = base + kPieceMarker + "r*";
  if (!System().List(sources.folder + pattern, entries)) {
    gathering.Unusable(kCannotReadFile, pattern);
    return;
  }
  std::vector<std::pair<std::uint64_t, std::string>> pieces;
  for (const DirEntry& entry : entries) {
    if (entry.isDirectory) continue;
    if (const std::optional<std::uint64_t> j = RecoveryPieceNumber(entry.name, base)) pieces.push_back({*j, entry.name});
  }
  // By number (and name), so that the order the folder lists them in
  // decides nothing.
  std::sort(pieces.begin(), pieces.end());
  for (const auto& [j, name] : pieces) {
    if (!out.recovery.empty() && out.recovery.back().first == j) continue;  // a second file of one number
    std::unique_ptr<InputFile> file = System().OpenRead(sources.folder + name);
    RecoveryHeadFields head;
    if (!file || !ReadRecoveryHeadFields(*file, head) || head.index != j) continue;
    if (head.version > kManifestVersion) {
      gathering.Newer(name, head.version);
      continue;
    }
    if (const std::optional<std::size_t> known = gathering.Known({head.manifestLength, head.manifestCrc})) {
      out.recovery.push_back({j, *known});
      continue;
    }
    if (gathering.full()) {
      out.recovery.push_back({j, Descriptions::kNotWeighed});
      continue;
    }
    RecoveryRead read = ReadRecoveryHead(*file);
    if (read.state != ManifestState::kValid || !EqualsNoCase(read.manifest.baseName, base)) continue;
    out.recovery.push_back({j, gathering.Add(std::move(read.manifest), name)});
  }
}

}  // namespace

Descriptions GatherDescriptions(const DescriptionSources& sources) {
  Descriptions out;
  Gathering gathering(out);
  if (!sources.program.empty()) {
    std::unique_ptr<InputFile> file = System().OpenRead(sources.program);
    if (!file) {
      out.refusal = Refusal{kCannotReadFile, sources.programName};
      return out;
    }
    ManifestRead read = ReadManifest(*file);
    switch (read.state) {
      case ManifestState::kValid: gathering.Add(std::move(read.manifest), sources.programName); break;
      case ManifestState::kNewer: gathering.Newer(sources.programName, read.version); break;
      case ManifestState::kUnreadable: out.refusal = Refusal{kCannotReadFile, sources.programName}; return out;
      case ManifestState::kDamaged: gathering.Unusable(kSplitFileDamaged, sources.programName); break;
      case ManifestState::kAbsent: break;
    }
  }
  if (sources.carried) gathering.Add(*sources.carried, sources.carriedBy);
  // The set's base name: a description's, else the one the front end gives.
  const std::string base = out.found.empty() ? sources.baseName : out.found.front().manifest.baseName;
  GatherPrograms(sources, base, gathering);
  GatherRecoveryPieces(sources, base, out, gathering);
  gathering.Close();
  return out;
}

std::optional<std::size_t> Descriptions::RecoveryCarries(std::uint64_t j) const {
  const auto at = std::lower_bound(recovery.begin(), recovery.end(), std::make_pair(j, std::size_t(0)));
  if (at == recovery.end() || at->first != j) return std::nullopt;
  return at->second;
}

bool SameFile(const Manifest& a, const Manifest& b) {
  return a.storedName == b.storedName && a.sourceLength == b.sourceLength && a.pieceSize == b.pieceSize &&
         a.pieceCrcs == b.pieceCrcs;
}

}  // namespace morsela
