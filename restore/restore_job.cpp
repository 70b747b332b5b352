#include "restore_job.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "crc32c.h"
#include "manifest.h"
#include "messages.h"
#include "piece_scan.h"
#include "pieces.h"
#include "platform.h"
#include "stored_name.h"
#include "text.h"
#include "utf8.h"

namespace morsela {

const char kNoSplitFileFound[] = "No Split File Found !";
const char kFileNotFound[] = "File Not Found !";
const char kInvalidFileName[] = "Invalid File Name !";
const char kSplitFileDamaged[] = "Split File Damaged !";

namespace {

constexpr std::size_t kBlockSize = 1 << 20;
// The output goes to the disk in steps of this many bytes as it is written,
// so that the last step, before the file takes its name, is short and the
// progress goes on meanwhile instead of waiting at the end.
constexpr std::uint64_t kFlushStep = std::uint64_t(128) << 20;
// A stored name is at most 255 UTF-16 units, three bytes each in UTF-8 at
// most, so its 0 byte lies within this many bytes.
constexpr std::size_t kLongestHeader = 1024;

struct Self {
  std::string name;    // the program's file name as the directory stores it
  std::string prefix;  // its directory, with a trailing '/' and '/' throughout
};

// The directory prefix of `absolutePath`: the part before its last separator,
// then "/", every backslash turned into a slash.
std::string PrefixOf(const std::string& absolutePath) {
  std::string dir = DirectoryOf(absolutePath);
  if (!dir.empty()) dir.pop_back();
  dir += '/';
  std::replace(dir.begin(), dir.end(), '\\', '/');
  return dir;
}

std::optional<Self> FindSelf(Platform& system, const std::string& path, const std::string& absolute) {
  if (path.empty() || absolute.empty()) return std::nullopt;
  for (const DirEntry& entry : system.Find(path)) {
    if (!entry.isDirectory) return Self{entry.name, PrefixOf(absolute)};
  }
  return std::nullopt;
}

int Refuse(const std::string& message) {
  System().ShowMessage(message);
  return kExitRefused;
}

// The names of the pieces concerned, for a message's second line.
class Culprits {
 public:
  void Add(const std::string& name) {
    if (names_.size() < kNamesShown) names_.push_back(name);
    ++count_;
  }
  bool empty() const { return count_ == 0; }
  std::string Text() const { return NameList(names_, count_); }

 private:
  std::vector<std::string> names_;
  std::uint64_t count_ = 0;
};

// A piece to join: its name, its size, and the CRC it must have when the
// set's manifest gives one.
struct JoinPiece {
  std::string name;
  std::uint64_t size = 0;
  std::optional<std::uint32_t> crc;
};

enum class Outcome { kDone, kReadFailed, kWriteFailed, kDamaged, kStopped };

// Copies the pieces' data (the head piece's after its header) to `out`,
// checking each piece's length and, where known, its CRC as it passes.
// After a damaged piece nothing more is written, but the pieces after it
// are still read and checked, so that the message can name them all.
class Joiner {
 public:
  Joiner(const std::string& prefix, Progress* progress, std::uint64_t total)
      : prefix_(prefix), progress_(progress), buffer_(kBlockSize) {
    report_.total = total;
  }

  Outcome Join(const std::vector<JoinPiece>& pieces, std::size_t headerSize, OutputFile& out) {
    report_.pieces = pieces.size();
    for (std::size_t p = 0; p < pieces.size(); ++p) {
      report_.piece = p;
      const Outcome outcome = CopyPiece(pieces[p], p == 0 ? headerSize : 0, out);
      if (outcome != Outcome::kDone) return outcome;
    }
    return damaged_.empty() ? Outcome::kDone : Outcome::kDamaged;
  }

  const Culprits& culprits() const { return damaged_.empty() ? unreadable_ : damaged_; }

 private:
  Outcome CopyPiece(const JoinPiece& piece, std::size_t skip, OutputFile& out) {
    std::unique_ptr<InputFile> in = System().OpenRead(prefix_ + piece.name);
    if (!in) return Unreadable(piece);
    Crc32cState crc;
    std::uint64_t length = 0;
    while (std::size_t got = in->Read(buffer_.data(), buffer_.size())) {
      if (in->Failed()) break;
      if (piece.crc) crc.Update(buffer_.data(), got);
      const std::size_t from = std::size_t(std::min<std::uint64_t>(got, skip > length ? skip - length : 0));
      length += got;
      if (!damaged_.empty() || from == got) continue;
      if (!out.Write(buffer_.data() + from, got - from)) return Outcome::kWriteFailed;
      report_.done += got - from;
      unflushed_ += got - from;
      if (unflushed_ >= kFlushStep) {
        if (!out.Flush()) return Outcome::kWriteFailed;
        unflushed_ = 0;
      }
      if (progress_ && !progress_->Advance(report_)) return Outcome::kStopped;
    }
    if (in->Failed()) return Unreadable(piece);
    // A piece that changed since it was listed, or whose bytes are not the
    // ones the split wrote.
    if (length != piece.size || length < skip || (piece.crc && crc.value() != *piece.crc))
      damaged_.Add(piece.name);
    return Outcome::kDone;
  }

  Outcome Unreadable(const JoinPiece& piece) {
    unreadable_.Add(piece.name);
    return Outcome::kReadFailed;
  }

  const std::string& prefix_;
  Progress* progress_;
  std::vector<char> buffer_;
  ProgressReport report_;
  std::uint64_t unflushed_ = 0;
  Culprits damaged_, unreadable_;
};

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

// Writes the set into a new temporary file beside it, then puts that in
// place of the stored name. Another restore running in the same folder
// writes its own temporary file: the names are taken exclusively.
int Rebuild(const Self& self, const std::vector<JoinPiece>& pieces, const std::string& stored,
            std::size_t headerSize, Progress* progress) {
  Platform& system = System();
  const std::string name = FileNameFrom(stored);
  std::vector<std::string> taken{self.name};
  for (const JoinPiece& piece : pieces) taken.push_back(piece.name);
  if (!IsAcceptableStoredName(name, taken)) return Refuse(WithDetail(kInvalidFileName, name));

  std::uint64_t total = 0;
  for (const JoinPiece& piece : pieces) total += piece.size;
  total -= std::min<std::uint64_t>(total, headerSize);
  if (progress) progress->Begin(name, total);

  std::string temporary;
  std::unique_ptr<OutputFile> out;
  for (unsigned k = 0; !out && k < 10000; ++k) {
    temporary = self.prefix + "~morsela" + FormatDecimal(k) + ".tmp";
    out = system.CreateNew(temporary);
    // A name that is free but cannot be created: the folder refuses.
    if (!out && system.Find(temporary).empty()) break;
  }
  if (!out) return Refuse(WithDetail(kCannotWriteFile, name));

  Joiner joiner(self.prefix, progress, total);
  Outcome outcome = joiner.Join(pieces, headerSize, *out);
  if (outcome == Outcome::kDone && (!out->Flush() || !out->Close())) outcome = Outcome::kWriteFailed;
  out.reset();
  // A set that came from the internet rebuilds a file the system warns
  // about just as it would have about the original download.
  if (outcome == Outcome::kDone) system.CopyZoneMark(self.prefix + pieces.front().name, temporary);
  if (outcome == Outcome::kDone && !system.Replace(temporary, self.prefix + name)) {
    outcome = Outcome::kWriteFailed;
  }
  if (outcome == Outcome::kDone) return kExitRestored;

  system.Remove(temporary);
  switch (outcome) {
    case Outcome::kStopped: return kExitStopped;
    case Outcome::kReadFailed: return Refuse(WithDetail(kCannotReadFile, joiner.culprits().Text()));
    case Outcome::kDamaged: return Refuse(WithDetail(kSplitFileDamaged, joiner.culprits().Text()));
    default: return Refuse(WithDetail(kCannotWriteFile, name));
  }
}

// The set as its manifest describes it: exactly pieces 0 to C - 1 of the
// manifest's base name, each of the size the manifest gives it. Pieces
// numbered C or more are not the set's and are left alone.
int RestoreWithManifest(const Self& self, const Manifest& m, Progress* progress) {
  const std::string marked = m.baseName + kPieceMarker;
  std::vector<JoinPiece> pieces(std::size_t(m.pieceCount));
  std::vector<DirEntry> entries;
  if (!System().List(self.prefix + marked + "*", entries)) return Refuse(WithDetail(kCannotReadFile, marked + "*"));
  for (const DirEntry& entry : entries) {
    if (entry.isDirectory) continue;
    const std::optional<std::uint64_t> number = PieceNumber(entry.name, m.baseName);
    // Only the names the split writes: no leading zeros.
    if (!number || *number >= m.pieceCount || entry.name.compare(marked.size(), std::string::npos,
                                                                  FormatDecimal(*number)) != 0)
      continue;
    JoinPiece& piece = pieces[std::size_t(*number)];
    if (piece.name.empty()) piece = {entry.name, entry.size, m.pieceCrcs[std::size_t(*number)]};
  }
  Culprits missing, misSized;
  for (std::uint64_t k = 0; k < m.pieceCount; ++k) {
    const JoinPiece& piece = pieces[std::size_t(k)];
    if (piece.name.empty()) missing.Add(PieceFileName(m.baseName, k));
    else if (piece.size != m.PieceLength(k)) misSized.Add(piece.name);
  }
  if (!missing.empty()) {
    bool none = std::all_of(pieces.begin(), pieces.end(), [](const JoinPiece& p) { return p.name.empty(); });
    return Refuse(WithDetail(none ? kNoSplitFileFound : kFileNotFound, missing.Text()));
  }
  if (!misSized.empty()) return Refuse(WithDetail(kSplitFileDamaged, misSized.Text()));
  return Rebuild(self, pieces, m.storedName, m.storedName.size() + 1, progress);
}

// The set as the names in the folder make it: every piece of the program's
// own base name, numbered 0, 1, 2, ... without a gap, shaped as a split
// leaves them.
int RestoreByNames(const Self& self, Progress* progress) {
  const std::string baseName = BaseNameOf(self.name);
  const std::string pattern = baseName + kPieceMarker + "*";
  std::vector<DirEntry> entries;
  if (!System().List(self.prefix + pattern, entries)) return Refuse(WithDetail(kCannotReadFile, pattern));
  const std::vector<Piece> found = CollectPieces(entries, baseName);
  if (found.empty()) return Refuse(kNoSplitFileFound);
  if (!IsUnbrokenSequence(found)) return Refuse(kFileNotFound);
  if (!HasSplitShape(found)) return Refuse(kSplitFileDamaged);

  const auto stored = ReadStoredName(self.prefix + found.front().name);
  if (!stored) return Refuse(WithDetail(kCannotReadFile, found.front().name));
  std::vector<JoinPiece> pieces;
  pieces.reserve(found.size());
  for (const Piece& piece : found) pieces.push_back({piece.name, piece.size, std::nullopt});
  return Rebuild(self, pieces, stored->first, stored->second, progress);
}

}  // namespace

int RestoreSplitFile(const RestoreStart& start, Progress* progress) {
  std::optional<Self> self = FindSelf(System(), start.invocation, start.absoluteInvocation);
  if (!self) self = FindSelf(System(), start.modulePath, start.modulePath);
  if (!self) return Refuse(kNoSplitFileFound);

  // The manifest is at the end of the program's own file.
  const std::string program = start.modulePath.empty() ? self->prefix + self->name : start.modulePath;
  std::unique_ptr<InputFile> file = System().OpenRead(program);
  if (!file) return Refuse(WithDetail(kCannotReadFile, self->name));
  const ManifestRead manifest = ReadManifest(*file);
  file.reset();
  switch (manifest.state) {
    case ManifestState::kValid: return RestoreWithManifest(*self, manifest.manifest, progress);
    case ManifestState::kAbsent: return RestoreByNames(*self, progress);
    case ManifestState::kNewer:
      return Refuse(WithDetail(kSplitFileDamaged, self->name + " (set description of format " +
                                                      FormatDecimal(manifest.version) + ", unknown here)"));
    case ManifestState::kUnreadable: return Refuse(WithDetail(kCannotReadFile, self->name));
    case ManifestState::kDamaged: break;
  }
  return Refuse(WithDetail(kSplitFileDamaged, self->name));
}

}  // namespace morsela
