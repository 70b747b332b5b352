#include "split/files_in_the_way.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "text/case_fold.h"
#include "format/manifest.h"
#include "format/page_description.h"
#include "text/messages.h"
#include "format/pieces.h"
#include "format/recovery_piece.h"
#include "platform/platform.h"
#include "text/text.h"

namespace morsela {

namespace {

// The restore program's name as it lies there, and whose it is.
struct ProgramThere {
  bool present = false;
  bool ours = false;      // the restore program of an earlier split of this source
  std::string owner;      // else the stored name of the set its manifest describes
  Manifest described;     // the set it describes, where it describes one
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
  there.described = read.manifest;
  return there;
}

// A restore page is a few hundred KiB; a larger file of its name is no page
// of ours and is not read.
constexpr std::uint64_t kLargestPage = std::uint64_t(16) << 20;

// The restore page's name as it lies there: nothing when absent or the
// earlier page of this source; else the line that names it in the question.
// A folder or a file that must not be replaced there blocks the split.
std::string LookAtPage(const std::string& page, const std::string& stored, const std::string& base,
                       std::string& blocked) {
  const std::vector<DirEntry> found = System().Find(page);
  if (found.empty()) return std::string();
  if (found.front().isDirectory || found.front().locked) {
    if (blocked.empty()) blocked = page;
    return std::string();
  }
  std::string bytes;
  if (found.front().size <= kLargestPage) {
    if (std::unique_ptr<InputFile> file = System().OpenRead(page)) {
      bytes.resize(std::size_t(found.front().size));
      bytes.resize(file->Read(&bytes[0], bytes.size()));
    }
  }
  Manifest m;
  const std::optional<std::string> description = PageDescription(bytes);
  const bool described = description && description->size() >= 4 &&
                         DecodeManifestBody(*description, std::uint8_t((*description)[0]), m) &&
                         EqualsNoCase(m.baseName, base);
  if (described && EqualsNoCase(m.storedName, stored)) return std::string();
  return FileNameOf(page) + (described ? ": the restore page of " + m.storedName : ": a file") + "\n";
}

// The lowest few piece numbers handed in, and how many there were: of
// pieces, or of recovery pieces.
class Numbers {
 public:
  explicit Numbers(std::string (*name)(const std::string&, std::uint64_t)) : name_(name) {}
  void Add(std::uint64_t k) {
    ++count_;
    lowest_.insert(std::upper_bound(lowest_.begin(), lowest_.end(), k), k);
    if (lowest_.size() > kNamesShown) lowest_.pop_back();
  }
  bool empty() const { return count_ == 0; }
  std::string Text(const std::string& base) const {
    std::vector<std::string> names;
    for (std::uint64_t k : lowest_) names.push_back(name_(base, k));
    return NameList(names, count_);
  }

 private:
  std::string (*name_)(const std::string&, std::uint64_t);
  std::vector<std::uint64_t> lowest_;
  std::uint64_t count_ = 0;
};

// One kind of file named as the split names them (pieces, or recovery
// pieces) that lie there: those it will write, and the run of higher ones
// it will remove after it. Sorted into the earlier set of this source (no
// question), the set the restore program there describes, and files of no
// known set. A file counts as the described set's only where it has the
// size the description gives it: a description is the word of whatever
// file lies there, and a crafted one could claim anything.
class Look {
 public:
  // `described(k)`: the size the restore program there gives file k, or
  // nothing where it describes no such file.
  Look(const std::string& dir, std::uint64_t count, const ProgramThere& program,
       std::string (*name)(const std::string&, std::uint64_t),
       std::optional<std::uint64_t> (*described)(const Manifest&, std::uint64_t))
      : ofOwner(name), ofNoOne(name), dir_(dir), count_(count), program_(program), described_(described) {}

  void Take(std::uint64_t number, const DirEntry& entry) {
    if (number < count_) return Meet(number, entry);
    higher_.push_back({number, entry});
  }

  // After the scan: the stale ones, which continue the sequence from the
  // split's last; a folder ends them.
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
      return;
    }
    const std::optional<std::uint64_t> size = program_.present ? described_(program_.described, k) : std::nullopt;
    const bool described = size && *size == entry.size;
    if (described && program_.ours) return;
    (described && !program_.owner.empty() ? ofOwner : ofNoOne).Add(k);
  }

  const std::string dir_;
  const std::uint64_t count_;
  const ProgramThere& program_;
  std::optional<std::uint64_t> (*described_)(const Manifest&, std::uint64_t);
  std::vector<Higher> higher_;
};

std::optional<std::uint64_t> DescribedPiece(const Manifest& m, std::uint64_t k) {
  if (k >= m.pieceCount) return std::nullopt;
  return m.PieceLength(k);
}

std::optional<std::uint64_t> DescribedRecoveryPiece(const Manifest& m, std::uint64_t j) {
  if (j >= m.recoveryCount) return std::nullopt;
  return RecoveryPieceLength(m);
}

// The pieces and the recovery pieces, from one scan of the folder.
class SetLook : public EntrySink {
 public:
  SetLook(const std::string& path, std::uint64_t count, std::uint64_t recovery, const ProgramThere& program)
      : pieces(DirectoryOf(path), count, program, &PieceFileName, &DescribedPiece),
        recovery(DirectoryOf(path), recovery, program, &RecoveryPieceFileName, &DescribedRecoveryPiece),
        base_(BaseNameOf(path)) {}

  void Take(const DirEntry& entry) override {
    if (const std::optional<std::uint64_t> k = WrittenPieceNumber(entry.name, base_)) pieces.Take(*k, entry);
    else if (const std::optional<std::uint64_t> j = RecoveryPieceNumber(entry.name, base_)) recovery.Take(*j, entry);
  }

  Look pieces, recovery;

 private:
  const std::string base_;
};

}  // namespace

FilesInTheWay LookInTheWay(const std::string& path, std::uint64_t count, std::uint64_t recovery) {
  FilesInTheWay way;
  const std::string stored = FileNameOf(path), base = BaseNameOf(path), program = RestoreProgramName(path);
  const ProgramThere there = LookAtProgram(program, stored, base, way.blocked);
  const std::string pageLine = LookAtPage(RestorePageName(path), stored, base, way.blocked);
  SetLook look(path, count, recovery, there);
  // A search that failed part-way may have missed any file: nothing could
  // then be replaced without the question.
  if (!System().Scan(DirectoryOf(path) + base + kPieceMarker + "*", look)) {
    way.unreadable = DirectoryOf(path);
    return way;
  }
  // Each kind of file, and what the question calls it.
  const std::pair<Look*, const char*> kinds[] = {{&look.pieces, "pieces"}, {&look.recovery, "recovery pieces"}};
  for (const auto& [kind, what] : kinds) {
    kind->FollowStale();
    if (way.blocked.empty()) way.blocked = kind->blocked;
  }
  if (!way.blocked.empty()) return way;

  std::string lines;
  if (there.present && !there.ours) {
    lines += FileNameOf(program) + (there.owner.empty() ? ": a program" : ": the restore program of " + there.owner);
    lines += "\n";
  }
  lines += pageLine;
  for (const auto& [kind, what] : kinds) {
    if (!kind->ofOwner.empty()) lines += kind->ofOwner.Text(base) + ": " + what + " of " + there.owner + "\n";
    if (!kind->ofNoOne.empty()) lines += kind->ofNoOne.Text(base) + ": " + what + " of another split\n";
  }
  if (!lines.empty())
    way.question = "Splitting " + stored + " replaces files in its folder that are not from a split of it:\n\n" +
                   lines + "\nReplace them?";
  return way;
}

}  // namespace morsela
