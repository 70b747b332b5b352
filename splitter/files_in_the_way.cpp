#include "files_in_the_way.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "text/case_fold.h"
#include "format/manifest.h"
#include "text/messages.h"
#include "format/pieces.h"
#include "platform/platform.h"
#include "text/text.h"

namespace morsela {

namespace {

// The restore program's name as it lies there, and whose it is.
struct ProgramThere {
  bool present = false;
  bool ours = false;      // the restore program of an earlier split of this source
  std::string owner;      // else the stored name of the set its manifest describes
  std::uint64_t pieces = 0;  // the pieces of the set it describes
};

ProgramThere LookAtProgram(const std::string& program, const std::string& stored, const std::string& base,
                           std::string& blocked) {
  ProgramThere there;
  const std::vector<DirEntry> found = System().Find(program);
  if (found.empty()) return there;
  there.present = true;
  if (found.front().isDirectory || found.front().locked) {
    blocked = program;
    return there;
  }
  std::unique_ptr<InputFile> file = System().OpenRead(program);
  const ManifestRead read = file ? ReadManifest(*file) : ManifestRead{};
  if (read.state != ManifestState::kValid || !EqualsNoCase(read.manifest.baseName, base)) return there;
  there.ours = EqualsNoCase(read.manifest.storedName, stored);
  if (!there.ours) there.owner = read.manifest.storedName;
  there.pieces = read.manifest.pieceCount;
  return there;
}

// The lowest few piece numbers handed in, and how many there were.
class Numbers {
 public:
  void Add(std::uint64_t k) {
    ++count_;
    lowest_.insert(std::upper_bound(lowest_.begin(), lowest_.end(), k), k);
    if (lowest_.size() > kNamesShown) lowest_.pop_back();
  }
  bool empty() const { return count_ == 0; }
  std::string Text(const std::string& base) const {
    std::vector<std::string> names;
    for (std::uint64_t k : lowest_) names.push_back(PieceFileName(base, k));
    return NameList(names, count_);
  }

 private:
  std::vector<std::uint64_t> lowest_;
  std::uint64_t count_ = 0;
};

// The pieces named as the split names them that lie there: those it will
// write, and the run of higher ones it will remove after it. Sorted into
// the earlier set of this source (no question), the set the restore
// program there describes, and pieces of no known set.
class PieceLook : public EntrySink {
 public:
  PieceLook(const std::string& path, std::uint64_t count, const ProgramThere& program)
      : dir_(DirectoryOf(path)), base_(BaseNameOf(path)), count_(count), program_(program) {}

  void Take(const DirEntry& entry) override {
    const std::optional<std::uint64_t> number = WrittenPieceNumber(entry.name, base_);
    if (!number) return;
    if (*number < count_) return Meet(*number, entry);
    higher_.push_back({*number, entry});
  }

  // After the scan: the stale pieces, which continue the sequence from the
  // split's last piece; a folder ends them.
  void FollowStale() {
    std::sort(higher_.begin(), higher_.end(),
              [](const Higher& a, const Higher& b) { return a.number < b.number; });
    std::uint64_t next = count_;
    for (const Higher& h : higher_) {
      if (h.number > next || h.entry.isDirectory) break;
      Meet(h.number, h.entry);
      next = h.number + 1;
    }
  }

  std::string blocked;
  Numbers ofOwner, ofNoOne;

 private:
  struct Higher {
    std::uint64_t number;
    DirEntry entry;
  };

  void Meet(std::uint64_t k, const DirEntry& entry) {
    if (entry.isDirectory || entry.locked) {
      if (blocked.empty()) blocked = dir_ + entry.name;
    } else if (!(program_.ours && k < program_.pieces)) {
      (!program_.owner.empty() && k < program_.pieces ? ofOwner : ofNoOne).Add(k);
    }
  }

  const std::string dir_, base_;
  const std::uint64_t count_;
  const ProgramThere& program_;
  std::vector<Higher> higher_;
};

}  // namespace

FilesInTheWay LookInTheWay(const std::string& path, std::uint64_t count) {
  FilesInTheWay way;
  const std::string stored = FileNameOf(path), base = BaseNameOf(path), program = RestoreProgramName(path);
  const ProgramThere there = LookAtProgram(program, stored, base, way.blocked);
  PieceLook pieces(path, count, there);
  System().Scan(DirectoryOf(path) + base + kPieceMarker + "*", pieces);
  pieces.FollowStale();
  if (way.blocked.empty()) way.blocked = pieces.blocked;
  if (!way.blocked.empty()) return way;

  std::string lines;
  if (there.present && !there.ours) {
    lines += FileNameOf(program) + (there.owner.empty() ? ": a program" : ": the restore program of " + there.owner);
    lines += "\n";
  }
  if (!pieces.ofOwner.empty()) lines += pieces.ofOwner.Text(base) + ": pieces of " + there.owner + "\n";
  if (!pieces.ofNoOne.empty()) lines += pieces.ofNoOne.Text(base) + ": pieces of another split\n";
  if (!lines.empty())
    way.question = "Splitting " + stored + " replaces files in its folder that are not from a split of it:\n\n" +
                   lines + "\nReplace them?";
  return way;
}

}  // namespace morsela
