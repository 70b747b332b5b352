#include "restore_job.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "format/crc32c.h"
#include "format/manifest.h"
#include "text/messages.h"
#include "piece_scan.h"
#include "format/pieces.h"
#include "platform/platform.h"
#include "pipeline/read_ahead.h"
#include "format/stored_name.h"
#include "text/case_fold.h"
#include "text/text.h"
#include "text/utf8.h"

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

// A piece to join: its name, its size, and the CRC it must have when the
// set's manifest gives one.
struct JoinPiece {
  std::string name;
  std::uint64_t size = 0;
  std::optional<std::uint32_t> crc;
};

// The pieces of a set, in the order they join. Kept as compact as the set
// allows: a set of half a million pieces is no reason for half a million
// names in memory.
class PieceSet {
 public:
  virtual ~PieceSet() = default;
  virtual std::uint64_t Count() const = 0;
  virtual JoinPiece At(std::uint64_t k) const = 0;
  // True when `name` is one of the pieces, compared without regard to case.
  virtual bool Holds(const std::string& name) const = 0;
};

enum class Outcome { kDone, kReadFailed, kWriteFailed, kDamaged, kStopped };

// The reading side of a restore, on the read-ahead thread: the pieces'
// bytes in order, each piece's length and (where the set gives one) CRC
// checked at its end. The name header, which may span pieces, is checked
// against the one the set's manifest gives, when it gives one. After a
// damaged piece it goes on reading and checking, so that the message can
// name every damaged piece, but marks its blocks as not to be written.
class PieceReader : public BlockFiller {
 public:
  // `header`: the name header the set must begin with; empty when only its
  // size is known.
  PieceReader(const std::string& prefix, const PieceSet& set, std::size_t headerSize, std::string header)
      : prefix_(prefix), set_(set), header_(std::move(header)), headerLeft_(headerSize) {}

  bool Fill(Block& block) override {
    for (;;) {
      if (!in_) {
        if (next_ == set_.Count()) return Last(block, Block::Kind::kEnd);
        piece_ = set_.At(next_);
        in_ = System().OpenRead(prefix_ + piece_.name);
        if (!in_) return Unreadable(block);
        crc_ = Crc32cState();
        length_ = 0;
        headerWrong_ = false;
      }
      const std::size_t got = in_->Read(block.bytes.data(), block.bytes.size());
      if (in_->Failed()) return Unreadable(block);
      if (got == 0) {
        // A piece that changed since it was listed, or whose bytes are not
        // the ones the split wrote.
        if (length_ != piece_.size || headerWrong_ || (piece_.crc && crc_.value() != *piece_.crc))
          damaged_.Add(piece_.name);
        in_.reset();
        ++next_;
        continue;
      }
      if (piece_.crc) crc_.Update(block.bytes.data(), got);
      block.from = std::size_t(std::min<std::uint64_t>(got, headerLeft_));
      if (!header_.empty() &&
          header_.compare(header_.size() - std::size_t(headerLeft_), block.from, block.bytes.data(), block.from) != 0)
        headerWrong_ = true;
      headerLeft_ -= block.from;
      length_ += got;
      block.size = got;
      block.piece = next_;
      block.write = damaged_.empty();
      block.kind = Block::Kind::kData;
      return true;
    }
  }

  // The pieces found damaged, and the one that could not be read.
  const NameTally& damaged() const { return damaged_; }
  const NameTally& unreadable() const { return unreadable_; }

 private:
  static bool Last(Block& block, Block::Kind kind) {
    block.size = 0;
    block.kind = kind;
    return false;
  }
  bool Unreadable(Block& block) {
    unreadable_.Add(piece_.name);
    return Last(block, Block::Kind::kFailed);
  }

  const std::string& prefix_;
  const PieceSet& set_;
  const std::string header_;
  std::uint64_t headerLeft_;  // bytes of the header still to come
  std::uint64_t next_ = 0, length_ = 0;
  bool headerWrong_ = false;
  JoinPiece piece_;
  std::unique_ptr<InputFile> in_;
  Crc32cState crc_;
  NameTally damaged_, unreadable_;
};

// Puts the output on the disk in steps while the copying goes on, on a
// thread of its own, so that the disk writes one step while the next is
// copied: Windows' cache writes a file out as it fills, so that a step
// there finds little left to do, but Linux (under Wine) writes nothing
// until asked. Without a thread each step is flushed in turn.
class StepFlusher {
 public:
  explicit StepFlusher(OutputFile& out) : out_(out) {
    Platform& system = System();
    asked_ = system.NewSemaphore(0);
    done_ = system.NewSemaphore(0);
    if (!asked_ || !done_) return;
    // Windows carries out the calls on one handle one after the other: the
    // thread flushes through a handle of its own, so that the writes go on.
    twin_ = out.FlushHandle();
    thread_ = system.StartThread(&StepFlusher::Run, this);
  }
  ~StepFlusher() {
    Wait();
    stop_ = true;
    if (thread_) asked_->Post();
  }
  StepFlusher(const StepFlusher&) = delete;
  StepFlusher& operator=(const StepFlusher&) = delete;

  // Starts putting everything written so far on the disk, once the step
  // before is there; false when a step failed.
  bool Step() {
    if (!thread_) return out_.Flush();
    if (!Wait()) return false;
    busy_ = true;
    asked_->Post();
    return true;
  }

  // Waits for the step under way; false when a step failed.
  bool Wait() {
    if (busy_) done_->Wait();
    busy_ = false;
    return !failed_;
  }

 private:
  static void Run(void* self) {
    StepFlusher& flusher = *static_cast<StepFlusher*>(self);
    for (;;) {
      flusher.asked_->Wait();
      if (flusher.stop_) return;
      // Set before the hand-over, read after it.
      if (!(flusher.twin_ ? *flusher.twin_ : flusher.out_).Flush()) flusher.failed_ = true;
      flusher.done_->Post();
    }
  }

  OutputFile& out_;
  std::unique_ptr<OutputFile> twin_;  // the flushing handle, where the system gives one
  std::unique_ptr<Semaphore> asked_, done_;
  std::atomic<bool> stop_{false};
  bool busy_ = false, failed_ = false;
  std::unique_ptr<Thread> thread_;  // the last member: it ends first
};

// The writing side: copies the pieces' data (the head piece's after its
// header) to `out` as the reader delivers it, reports the progress and
// puts the output on the disk in steps.
Outcome Join(PieceReader& reader, OutputFile& out, std::uint64_t total, std::uint64_t pieces, Progress* progress) {
  ReadAhead ahead(reader, kBlockSize);
  StepFlusher flusher(out);
  ProgressReport report{0, total, 0, pieces};
  std::uint64_t unflushed = 0;
  for (;;) {
    const Block& block = ahead.Next();
    if (block.kind == Block::Kind::kFailed) return Outcome::kReadFailed;
    if (block.kind == Block::Kind::kEnd) return flusher.Wait() ? Outcome::kDone : Outcome::kWriteFailed;
    report.piece = block.piece;
    if (block.write && block.from < block.size) {
      const std::size_t n = block.size - block.from;
      if (!out.Write(block.bytes.data() + block.from, n)) return Outcome::kWriteFailed;
      report.done += n;
      unflushed += n;
      if (unflushed >= kFlushStep) {
        if (!flusher.Step()) return Outcome::kWriteFailed;
        unflushed = 0;
      }
    }
    if (progress && !progress->Advance(report)) return Outcome::kStopped;
  }
}

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
// `headerKnown`: the set's manifest gives the stored name, which the head
// piece must then begin with.
int Rebuild(const Self& self, const PieceSet& set, const std::string& stored, std::size_t headerSize,
            bool headerKnown, Progress* progress) {
  Platform& system = System();
  const std::string name = FileNameFrom(stored);
  if (!IsAcceptableStoredName(name, {self.name}) || set.Holds(name))
    return Refuse(WithDetail(kInvalidFileName, name));

  std::uint64_t total = 0;
  for (std::uint64_t k = 0; k < set.Count(); ++k) total += set.At(k).size;
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

  PieceReader reader(self.prefix, set, headerSize, headerKnown ? stored + '\0' : std::string());
  Outcome outcome = Join(reader, *out, total, set.Count(), progress);
  if (outcome == Outcome::kDone && !reader.damaged().empty()) outcome = Outcome::kDamaged;
  if (outcome == Outcome::kDone && (!out->Flush() || !out->Close())) outcome = Outcome::kWriteFailed;
  out.reset();
  // A set that came from the internet rebuilds a file the system warns
  // about just as it would have about the original download.
  if (outcome == Outcome::kDone) system.CopyZoneMark(self.prefix + set.At(0).name, temporary);
  if (outcome == Outcome::kDone && !system.Replace(temporary, self.prefix + name)) {
    outcome = Outcome::kWriteFailed;
  }
  if (outcome == Outcome::kDone) return kExitRestored;

  const bool removed = system.Remove(temporary);
  int code = kExitStopped;
  switch (outcome) {
    case Outcome::kStopped: break;
    case Outcome::kReadFailed: code = Refuse(WithDetail(kCannotReadFile, reader.unreadable().Text())); break;
    case Outcome::kDamaged: code = Refuse(WithDetail(kSplitFileDamaged, reader.damaged().Text())); break;
    default: code = Refuse(WithDetail(kCannotWriteFile, name));
  }
  // As large as the whole file: one that another program holds is named.
  if (!removed) code = Refuse(WithDetail(kCannotWriteFile, FileNameOf(temporary)));
  return code;
}

// The set as its manifest describes it: exactly pieces 0 to C - 1 of the
// manifest's base name, each of the size the manifest gives it. Pieces
// numbered C or more are not the set's and are left alone. Per piece it
// keeps two bits beside the manifest's CRC, and a name only for a piece
// whose name differs in case from the one the split wrote.
class ManifestSet : public PieceSet, public EntrySink {
 public:
  explicit ManifestSet(const Manifest& m)
      : m_(m), marked_(m.baseName + kPieceMarker), found_(std::size_t(m.pieceCount)),
        misSized_(std::size_t(m.pieceCount)) {}

  void Take(const DirEntry& entry) override {
    if (entry.isDirectory) return;
    const std::optional<std::uint64_t> number = PieceNumber(entry.name, m_.baseName);
    // Only the names the split writes: no leading zeros.
    if (!number || *number >= m_.pieceCount ||
        entry.name.compare(marked_.size(), std::string::npos, FormatDecimal(*number)) != 0)
      return;
    const std::size_t k = std::size_t(*number);
    if (found_[k]) return;
    found_[k] = true;
    misSized_[k] = entry.size != m_.PieceLength(k);
    if (entry.name != PieceFileName(m_.baseName, k)) {
      if (odd_.empty()) odd_.resize(found_.size());
      odd_[k] = entry.name;
    }
  }

  // Refuses the set with a message (returning the exit code) unless every
  // piece was found with its size; 0 when all is well.
  int Check() const {
    NameTally missing, misSized;
    for (std::uint64_t k = 0; k < Count(); ++k) {
      if (!found_[std::size_t(k)]) missing.Add(PieceFileName(m_.baseName, k));
      else if (misSized_[std::size_t(k)]) misSized.Add(At(k).name);
    }
    if (!missing.empty()) {
      const bool none = std::find(found_.begin(), found_.end(), true) == found_.end();
      return Refuse(WithDetail(none ? kNoSplitFileFound : kFileNotFound, missing.Text()));
    }
    if (!misSized.empty()) return Refuse(WithDetail(kSplitFileDamaged, misSized.Text()));
    return 0;
  }

  std::uint64_t Count() const override { return m_.pieceCount; }
  JoinPiece At(std::uint64_t k) const override {
    const bool odd = !odd_.empty() && !odd_[std::size_t(k)].empty();
    return {odd ? odd_[std::size_t(k)] : PieceFileName(m_.baseName, k), m_.PieceLength(k),
            m_.pieceCrcs[std::size_t(k)]};
  }
  bool Holds(const std::string& name) const override {
    const std::optional<std::uint64_t> number = PieceNumber(name, m_.baseName);
    return number && *number < Count() && EqualsNoCase(name, At(*number).name);
  }

 private:
  const Manifest& m_;
  const std::string marked_;
  std::vector<bool> found_, misSized_;
  std::vector<std::string> odd_;
};

int RestoreWithManifest(const Self& self, const Manifest& m, Progress* progress) {
  ManifestSet set(m);
  const std::string pattern = m.baseName + kPieceMarker + "*";
  if (!System().Scan(self.prefix + pattern, set)) return Refuse(WithDetail(kCannotReadFile, pattern));
  if (const int refused = set.Check()) return refused;
  return Rebuild(self, set, m.storedName, m.storedName.size() + 1, true, progress);
}

// The pieces the names in the folder make, when no manifest tells.
class NamedSet : public PieceSet {
 public:
  explicit NamedSet(std::vector<Piece> pieces) : pieces_(std::move(pieces)) {}
  std::uint64_t Count() const override { return pieces_.size(); }
  JoinPiece At(std::uint64_t k) const override {
    return {pieces_[std::size_t(k)].name, pieces_[std::size_t(k)].size, std::nullopt};
  }
  bool Holds(const std::string& name) const override {
    return std::any_of(pieces_.begin(), pieces_.end(),
                       [&](const Piece& piece) { return EqualsNoCase(name, piece.name); });
  }

 private:
  std::vector<Piece> pieces_;
};

// The set as the names in the folder make it: every piece of the program's
// own base name, numbered 0, 1, 2, ... without a gap, shaped as a split
// leaves them.
int RestoreByNames(const Self& self, Progress* progress) {
  const std::string baseName = BaseNameOf(self.name);
  const std::string pattern = baseName + kPieceMarker + "*";
  std::vector<Piece> found;
  {
    std::vector<DirEntry> entries;
    if (!System().List(self.prefix + pattern, entries)) return Refuse(WithDetail(kCannotReadFile, pattern));
    found = CollectPieces(entries, baseName);
  }
  if (found.empty()) return Refuse(kNoSplitFileFound);
  if (!IsUnbrokenSequence(found)) return Refuse(kFileNotFound);
  if (!HasSplitShape(found)) return Refuse(kSplitFileDamaged);

  const auto stored = ReadStoredName(self.prefix + found.front().name);
  if (!stored) return Refuse(WithDetail(kCannotReadFile, found.front().name));
  return Rebuild(self, NamedSet(std::move(found)), stored->first, stored->second, false, progress);
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
