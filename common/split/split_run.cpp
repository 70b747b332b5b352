#include "split/split_run.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "format/crc32c.h"
#include "format/erasure_code.h"
#include "format/manifest.h"
#include "format/page_description.h"
#include "format/pieces.h"
#include "format/recovery_piece.h"
#include "pipeline/background_step.h"
#include "pipeline/ring.h"
#include "platform/platform.h"
#include "split/recovery_writer.h"
#include "split/signed_program.h"
#include "text/messages.h"
#include "text/text.h"

namespace morsela {

namespace {

enum class Outcome { kDone, kReadFailed, kWriteFailed, kStopped };

// A block of the byte sequence the pieces cut, on its way from the reading
// side to the writing side, with the CRC of its piece so far.
struct DataBlock {
  enum class Kind : std::uint8_t {
    kData,    // bytes to write
    kEnd,     // the data ended before this block; it holds no bytes
    kFailed,  // reading failed; it holds no bytes
  };
  std::vector<char> bytes;  // sized once; `size` of them filled
  std::size_t size = 0;
  std::uint64_t piece = 0, offset = 0;  // its piece, and where it lies in it
  std::uint32_t crc = 0;
  Kind kind = Kind::kData;
  bool endsPiece = false;  // the piece is full with it
};

// A reading side of a split, on the ring's thread.
class SequenceFiller : public Filler<DataBlock> {
 public:
  // Bytes of the source read so far.
  virtual std::uint64_t sourceBytes() const = 0;

 protected:
  static bool Last(DataBlock& block, DataBlock::Kind kind) {
    block.size = 0;
    block.kind = kind;
    return false;
  }
};

// The reading side of a split: the byte sequence
// that the pieces cut (the name header, then the source) in blocks that
// never straddle two pieces, each with its piece's CRC so far.
class PieceFiller : public SequenceFiller {
 public:
  PieceFiller(const std::string& header, InputFile& source, std::uint64_t pieceSize)
      : header_(header), source_(source), pieceSize_(pieceSize), room_(pieceSize) {}

  bool Fill(DataBlock& block) override {
    if (room_ == 0) {
      ++piece_;
      room_ = pieceSize_;
      crc_ = Crc32cState();
    }
    const std::size_t want = std::size_t(std::min<std::uint64_t>(block.bytes.size(), room_));
    // The header is far shorter than a piece or a block: it goes first.
    const std::size_t head = std::min(want, header_.size() - headerSent_);
    std::copy_n(header_.data() + headerSent_, head, block.bytes.data());
    headerSent_ += head;
    const std::size_t got = source_.Read(block.bytes.data() + head, want - head);
    sourceBytes_ += got;
    block.size = head + got;
    if (source_.Failed()) return Last(block, DataBlock::Kind::kFailed);
    if (block.size == 0) return Last(block, DataBlock::Kind::kEnd);
    crc_.Update(block.bytes.data(), block.size);
    block.offset = pieceSize_ - room_;
    room_ -= block.size;
    block.endsPiece = room_ == 0;
    block.piece = piece_;
    block.crc = crc_.value();
    block.kind = DataBlock::Kind::kData;
    return true;
  }

  std::uint64_t sourceBytes() const override { return sourceBytes_; }

 private:

  const std::string& header_;
  InputFile& source_;
  const std::uint64_t pieceSize_;
  std::size_t headerSent_ = 0;
  std::uint64_t piece_ = 0, room_, sourceBytes_ = 0;
  Crc32cState crc_;
};

// The recovery data and the stripes' CRCs, summed from the blocks on a
// thread of their own while the writing side writes the same blocks: on
// the reading side they held the reading back by as much as they took.
class RecoverySums : public Follower<DataBlock> {
 public:
  explicit RecoverySums(RecoveryWriter& writer) : writer_(writer) {}
  void Follow(const DataBlock& block) override {
    if (block.kind == DataBlock::Kind::kData) writer_.Add(block.piece, block.offset, block.bytes.data(), block.size);
  }
  // A row's blocks (the same offset and size in consecutive pieces) are
  // summed at once.
  std::size_t Batch() const override { return kMostFollowed; }
  void FollowSeveral(const DataBlock* const* blocks, std::size_t count) override {
    for (std::size_t first = 0, end; first < count; first = end) {
      const DataBlock& block = *blocks[first];
      std::uint64_t pieces[kMostFollowed];
      const char* bytes[kMostFollowed];
      for (end = first; end < count; ++end) {
        const DataBlock& next = *blocks[end];
        if (next.kind != DataBlock::Kind::kData || next.offset != block.offset || next.size != block.size) break;
        pieces[end - first] = next.piece;
        bytes[end - first] = next.bytes.data();
      }
      if (end == first) ++end;  // a block that ends the data
      else writer_.AddRow(pieces, bytes, end - first, block.offset, block.size);
    }
  }

 private:
  RecoveryWriter& writer_;
};

// The byte sequence the pieces cut, read from the source at any offset:
// in rows, and again for the recovery data beyond the first window.
class SourceSequence : public Sequence {
 public:
  SourceSequence(const std::string& header, InputFile& source) : header_(header), source_(source) {}
  bool Read(std::uint64_t offset, char* bytes, std::size_t size) override {
    if (offset < header_.size()) {
      const std::size_t n = std::min(size, std::size_t(header_.size() - offset));
      std::copy_n(header_.data() + offset, n, bytes);
      offset += n;
      bytes += n;
      size -= n;
    }
    return size == 0 || (source_.Seek(offset - header_.size()) && source_.Read(bytes, size) == size);
  }

 private:
  const std::string& header_;
  InputFile& source_;
};

// The reading side of a split with recovery pieces: the same blocks in
// rows, the block at one offset of each of up to kLanes pieces in turn,
// then the next offset, so that the recovery sums at an offset stay in the
// processor's cache while the blocks of a row are added to them. Read
// piece after piece, pieces of many blocks had the sums come from memory
// and go back for every block. Pieces of one block are read in order
// either way. The pieces' CRCs come from their stripes', which the sums'
// thread takes, so the blocks carry none. The source is read at exact
// offsets: one that ends early fails the read; one that goes on beyond
// the set counts a byte more, which the split's check of the length turns
// into a failure too.
class RowFiller : public SequenceFiller {
 public:
  static constexpr std::uint64_t kLanes = 8;

  RowFiller(const std::string& header, InputFile& source, std::uint64_t pieceSize, std::uint64_t count,
            std::uint64_t sourceLength)
      : sequence_(header, source), source_(source), header_(header.size()), pieceSize_(pieceSize), count_(count),
        length_(header.size() + sourceLength) {}

  bool Fill(DataBlock& block) override {
    while (group_ < count_) {
      const std::uint64_t piece = group_ + lane_, at = offset_, length = PieceLength(piece);
      if (++lane_ == std::min(kLanes, count_ - group_)) {
        lane_ = 0;
        offset_ += block.bytes.size();
        // The group's first piece is its longest.
        if (offset_ >= PieceLength(group_)) {
          group_ += kLanes;
          offset_ = 0;
        }
      }
      if (at >= length) continue;  // the set's last piece, shorter than the others
      const std::size_t n = std::size_t(std::min<std::uint64_t>(block.bytes.size(), length - at));
      if (!sequence_.Read(piece * pieceSize_ + at, block.bytes.data(), n)) return Last(block, DataBlock::Kind::kFailed);
      read_ += n;
      block.size = n;
      block.piece = piece;
      block.offset = at;
      block.endsPiece = at + n == length;
      block.kind = DataBlock::Kind::kData;
      return true;
    }
    char beyond;
    if (source_.Seek(length_ - header_) && source_.Read(&beyond, 1) == 1) ++read_;
    return Last(block, source_.Failed() ? DataBlock::Kind::kFailed : DataBlock::Kind::kEnd);
  }

  std::uint64_t sourceBytes() const override { return read_ - std::min(read_, header_); }

 private:
  std::uint64_t PieceLength(std::uint64_t k) const {
    return k + 1 < count_ ? pieceSize_ : length_ - (count_ - 1) * pieceSize_;
  }

  SourceSequence sequence_;
  InputFile& source_;
  const std::uint64_t header_, pieceSize_, count_, length_;
  std::uint64_t group_ = 0, lane_ = 0, offset_ = 0, read_ = 0;
};

// A piece file created ahead of the writing; none when it could not be
// created (or all were).
struct CreatedPiece {
  std::unique_ptr<OutputFile> file;
};

// Creates the pieces the split expects ahead of the writing, on a ring's
// thread of its own: making a file costs the system as much as copying a
// piece's bytes on some (a server round trip under Wine), and here that
// overlaps the copying. It stops at the first piece it cannot create.
class PieceCreator : public Filler<CreatedPiece> {
 public:
  PieceCreator(const std::string& path, std::uint64_t count) : path_(path), count_(count) {}

  // The pieces created so far; read once the ring has finished.
  std::uint64_t created() const { return created_; }

  bool Fill(CreatedPiece& piece) override {
    if (created_ == count_) return false;
    piece.file = System().Create(PieceName(path_, created_));
    if (!piece.file) return false;
    ++created_;
    return true;
  }

 private:
  const std::string& path_;
  const std::uint64_t count_;
  std::uint64_t created_ = 0;
};

// One step of the thread that writes the odd pieces: a block of bytes
// into its piece, and the piece closed after the last.
struct OddWrite {
  OutputFile* file = nullptr;
  std::uint64_t piece = 0;
  const char* bytes = nullptr;
  std::size_t size = 0;
  bool close = false;

  static bool Run(void* self) {
    const OddWrite& write = *static_cast<OddWrite*>(self);
    return (write.size == 0 || write.file->Write(write.bytes, write.size)) && (!write.close || write.file->Close());
  }
};

// One call of SplitFile: the files it created, so that a failure removes
// exactly those (the pieces follow from their count, so no list is kept),
// the manifest it builds and the file a failure concerns.
class SplitRun {
 public:
  SplitRun(const std::string& path, Progress* progress) : path_(path), progress_(progress) {}

  // Writes the pieces the filler's blocks make, each created when its first
  // block arrives (so no empty piece is ever made) and closed after its
  // last. `expected` is the count the caller foresaw and `total` the
  // bytes foreseen, for the progress.
  // The recovery data summed into `recovery` (when the set has recovery
  // pieces), and the count of pieces created ahead, are this thread's once
  // this returns: both rings have finished.
  Outcome WritePieces(SequenceFiller& filler, RecoveryWriter& recovery, std::uint64_t expected, std::uint64_t total,
                      std::size_t blockSize) {
    PieceCreator creator(path_, expected);
    // The files still in the ring when this ends are closed before the
    // caller removes them.
    Ring<CreatedPiece> created(creator);
    DataBlock blank;
    blank.bytes.resize(blockSize);
    // Two blocks held: the one this thread writes, and the one before,
    // which the odd pieces' writer may still be writing.
    RecoverySums sums(recovery);
    std::optional<Ring<DataBlock>> ahead;
    if (manifest_.recoveryCount) ahead.emplace(filler, blank, sums, 2);
    else ahead.emplace(filler, blank, 2);
    const Outcome outcome = WriteBlocks(*ahead, created, expected, total);
    ahead->Finish();
    created.Finish();
    createdAhead_ = creator.created();
    return outcome;
  }

  Outcome WriteBlocks(Ring<DataBlock>& ahead, Ring<CreatedPiece>& created, std::uint64_t expected,
                      std::uint64_t total) {
    const std::uint64_t recovery = manifest_.recoveryCount;
    report_ = ProgressReport{0, total, 0, expected + recovery};
    ProgressReport& report = report_;
    // Room for the CRCs foreseen, within reason: a count far beyond any
    // real set grows the list as the pieces come instead.
    manifest_.pieceCrcs.reserve(std::size_t(std::min<std::uint64_t>(expected, std::uint64_t(1) << 24)));
    // The pieces under way, by number, each with its CRC so far: one at a
    // time where the blocks come piece after piece, a row of them where
    // they come in rows. The odd pieces are written on a thread of their
    // own while this one writes the even ones: copying into the system's
    // cache is most of a split's work, and two pieces at a time take it on
    // two processors. An odd piece that thread closes stays in `closing`
    // until its close is known to be done.
    struct OpenPiece {
      std::unique_ptr<OutputFile> file;
      std::uint32_t crc = 0;
    };
    std::map<std::uint64_t, OpenPiece> open;
    std::unique_ptr<OutputFile> closing;
    OddWrite step;
    BackgroundStep oddWriter(&OddWrite::Run, &step);  // after what it uses: it ends first
    std::uint64_t taken = 0, stepBlock = ~std::uint64_t(0);
    // A failure here names the first piece that failed, which may be the
    // odd writer's before.
    auto firstFailed = [&](std::uint64_t k) {
      return WriteFailed(!oddWriter.Wait() && step.piece < k ? step.piece : k);
    };
    for (;;) {
      // The ring hands back the slot taken two calls before: a write of
      // it still under way ends first.
      if (taken >= 2 && stepBlock == taken - 2 && !oddWriter.Wait()) return WriteFailed(step.piece);
      const DataBlock& block = ahead.Next();
      const std::uint64_t index = taken++;
      if (block.kind == DataBlock::Kind::kFailed) return Read();
      if (block.kind == DataBlock::Kind::kEnd) {
        // The piece the source ended in (a source shorter than foreseen,
        // which fails later): closed now.
        if (!oddWriter.Wait()) return WriteFailed(step.piece);
        for (auto& [k, piece] : open) {
          if (!piece.file->Close()) return WriteFailed(k);
          manifest_.pieceCrcs[std::size_t(k)] = piece.crc;
        }
        return Outcome::kDone;
      }
      auto it = open.find(block.piece);
      if (it == open.end()) {
        // Pieces start in order. A source longer than foreseen gets its
        // further pieces here. A file that could not be created is not
        // ours: it is never removed.
        std::unique_ptr<OutputFile> file;
        if (block.piece < expected) {
          file = std::move(created.Next().file);
        } else if ((file = System().Create(PieceName(path_, block.piece)))) {
          created_ = block.piece + 1;
        }
        if (!file) return firstFailed(block.piece);
        it = open.emplace(block.piece, OpenPiece{std::move(file), 0}).first;
        report.pieces = std::max(expected, block.piece + 1) + recovery;
        if (manifest_.pieceCrcs.size() <= block.piece) manifest_.pieceCrcs.resize(std::size_t(block.piece + 1));
      }
      OpenPiece& piece = it->second;
      piece.crc = block.crc;
      if (block.endsPiece) manifest_.pieceCrcs[std::size_t(block.piece)] = block.crc;
      if (block.piece % 2 == 0) {
        if (!piece.file->Write(block.bytes.data(), block.size)) return firstFailed(block.piece);
        if (block.endsPiece) {
          if (!piece.file->Close()) return firstFailed(block.piece);
          open.erase(it);
        }
      } else {
        if (!oddWriter.Wait()) return WriteFailed(step.piece);
        closing.reset();
        step = OddWrite{piece.file.get(), block.piece, block.bytes.data(), block.size, block.endsPiece};
        stepBlock = index;
        if (block.endsPiece) {
          closing = std::move(piece.file);
          open.erase(it);
        }
        if (!oddWriter.Start()) return WriteFailed(step.piece);
      }
      report.piece = open.empty() ? block.piece : std::min(block.piece, open.begin()->first);
      report.done += block.size;
      report.total = std::max(report.total, report.done);
      if (progress_ && !progress_->Advance(report)) return Outcome::kStopped;
    }
  }

  // Writes the recovery pieces after the pieces; `again` reads the
  // sequence anew where the writer's window is shorter than a piece.
  Outcome WriteRecovery(RecoveryWriter& writer, Sequence& again) {
    std::string failed;
    ProgressReport& report = report_;
    report.piece = manifest_.pieceCount;
    const RecoveryWriter::Outcome outcome =
        writer.Write(path_, manifest_, again, recoveryCreated_, failed, [&](std::uint64_t bytes) {
          report.done += bytes;
          report.total = std::max(report.total, report.done);
          return !progress_ || progress_->Advance(report);
        });
    switch (outcome) {
      case RecoveryWriter::Outcome::kDone: return Outcome::kDone;
      case RecoveryWriter::Outcome::kStopped: return Outcome::kStopped;
      case RecoveryWriter::Outcome::kReadFailed: return Read();
      case RecoveryWriter::Outcome::kWriteFailed: break;
    }
    failedFile_ = failed;
    return Outcome::kWriteFailed;
  }

  Outcome WriteRestoreProgram(const std::string& name, std::string_view image) {
    failedFile_ = name;
    std::unique_ptr<OutputFile> file = System().Create(name);
    if (!file) return Outcome::kWriteFailed;
    programCreated_ = true;
    // A signed image carries the description in its signature, which data
    // after the image would break; an unsigned one, after the image.
    const std::string signedProgram = ProgramWithSignedDescription(image, manifest_);
    if (!signedProgram.empty()) {
      if (!file->Write(signedProgram.data(), signedProgram.size()) || !file->Close()) return Outcome::kWriteFailed;
      return Outcome::kDone;
    }
    if (!file->Write(image.data(), image.size()) || !WriteManifest(manifest_, image.size(), *file) ||
        !file->Close())
      return Outcome::kWriteFailed;
    return Outcome::kDone;
  }

  // The restore page beside the restore program: the template with the
  // set's description filled in.
  Outcome WriteRestorePage(const std::string& name, std::string_view pageTemplate) {
    failedFile_ = name;
    const std::string page = FillPage(pageTemplate, manifest_);
    std::unique_ptr<OutputFile> file = System().Create(name);
    if (!file) return Outcome::kWriteFailed;
    pageCreated_ = true;
    if (page.empty() || !file->Write(page.data(), page.size()) || !file->Close()) return Outcome::kWriteFailed;
    return Outcome::kDone;
  }

  // Removes every file this call created, pieces made ahead of the writing
  // included; returns those that stay (a program such as a virus scanner
  // may hold one beyond the platform's retries).
  NameTally RemoveCreated() {
    NameTally left;
    const std::uint64_t created = std::max(created_, createdAhead_);
    for (std::uint64_t k = 0; k < created; ++k) {
      if (!System().Remove(PieceName(path_, k))) left.Add(FileNameOf(PieceName(path_, k)));
    }
    for (std::uint64_t j = 0; j < recoveryCreated_; ++j) {
      const std::string name = RecoveryPieceFileName(BaseNameOf(path_), j);
      if (!System().Remove(DirectoryOf(path_) + name)) left.Add(name);
    }
    if (programCreated_ && !System().Remove(RestoreProgramName(path_)))
      left.Add(FileNameOf(RestoreProgramName(path_)));
    if (pageCreated_ && !System().Remove(RestorePageName(path_))) left.Add(FileNameOf(RestorePageName(path_)));
    return left;
  }

  // A read failure concerns the source, whatever piece was being written.
  Outcome Read() {
    failedFile_ = path_;
    return Outcome::kReadFailed;
  }

  Outcome WriteFailed(std::uint64_t piece) {
    failedFile_ = PieceName(path_, piece);
    return Outcome::kWriteFailed;
  }

  Manifest& manifest() { return manifest_; }
  std::uint64_t pieces() const { return manifest_.pieceCrcs.size(); }
  const std::string& failedFile() const { return failedFile_; }

 private:
  const std::string& path_;
  Progress* progress_;
  // The pieces created by the writing side, and those created ahead of it
  // (counted on the creating thread, taken once it has finished).
  std::uint64_t created_ = 0, createdAhead_ = 0, recoveryCreated_ = 0;
  bool programCreated_ = false, pageCreated_ = false;
  ProgressReport report_;
  Manifest manifest_;
  std::string failedFile_;
};

bool IsRegularFile(const std::string& path) {
  std::vector<DirEntry> found = System().Find(path);
  return !found.empty() && !found.front().isDirectory;
}

// Removes the pieces of an earlier, longer split that would be joined
// after this one's by a restore program that trusts the names alone, and
// the recovery pieces of an earlier split beyond this one's, which belong
// to no set now. Returns the message naming those that could not be
// removed; empty when none.
std::string RemoveStalePieces(const std::string& path, std::uint64_t pieces, std::uint64_t recovery) {
  NameTally kept;
  for (std::uint64_t k = pieces; IsRegularFile(PieceName(path, k)); ++k) {
    if (!System().Remove(PieceName(path, k))) kept.Add(FileNameOf(PieceName(path, k)));
  }
  const std::string folder = DirectoryOf(path), base = BaseNameOf(path);
  for (std::uint64_t j = recovery; IsRegularFile(folder + RecoveryPieceFileName(base, j)); ++j) {
    if (!System().Remove(folder + RecoveryPieceFileName(base, j))) kept.Add(RecoveryPieceFileName(base, j));
  }
  return kept.empty() ? std::string() : WithDetail(kCannotWriteFile, kept.Text());
}

}  // namespace

std::string SplitOutcomeText(const SplitOutcome& outcome) {
  switch (outcome.kind) {
    case SplitOutcome::Kind::kWritten: {
      const std::string recovery =
          outcome.recovery ? ", " + CountOf(outcome.recovery, "recovery piece", "recovery pieces") : std::string();
      return "Done: " + CountOf(outcome.pieces, "piece", "pieces") + recovery + ", the restore program " +
             FileNameOf(outcome.program) + " and the restore page " + FileNameOf(outcome.page) + " written.";
    }
    case SplitOutcome::Kind::kStopped:
      return outcome.left ? "Split stopped: " + FormatDecimal(outcome.left) + " of its files could not be removed."
                          : kSplitStopped;
    case SplitOutcome::Kind::kRefused: break;
  }
  return outcome.left ? "Split failed: " + FormatDecimal(outcome.left) + " of its files could not be removed."
                      : kSplitFailed;
}

SplitOutcome Split(SplitPlan& plan, Progress* progress) {
  const std::string& named = plan.named;
  const std::uint64_t pieceSize = plan.pieceSize, recovery = plan.recovery, count = plan.count;
  std::unique_ptr<InputFile> file = std::move(plan.source);
  const FileStamp before = plan.stamp;
  std::string header = FileNameOf(named);
  const std::uint64_t total = header.size() + 1 + before.size;

  SplitRun run(named, progress);
  Manifest& manifest = run.manifest();
  manifest.baseName = BaseNameOf(named);
  manifest.storedName = header;
  manifest.pieceSize = pieceSize;
  manifest.pieceCount = count;
  manifest.sourceLength = before.size;
  manifest.recoveryCount = recovery;
  RecoveryWriter recoveryWriter(recovery, pieceSize);
  recoveryWriter.KeepStripeCrcs(manifest);
  // The recovery pieces' bytes, and those read again for them, count
  // in the progress as the pieces' do.
  const std::uint64_t work = total + recovery * recoveryWriter.dataSize() +
                             (recovery ? recoveryWriter.RereadBytes(manifest) : 0);
  if (progress) progress->Begin(header, work);
  header.push_back('\0');
  std::unique_ptr<SequenceFiller> filler;
  if (recovery) filler = std::make_unique<RowFiller>(header, *file, pieceSize, count, before.size);
  else filler = std::make_unique<PieceFiller>(header, *file, pieceSize);
  SequenceFiller& data = *filler;
  Outcome outcome = run.WritePieces(data, recoveryWriter, count, work, plan.blockSize);
  // The manifest vouches for one version of the source: one that changed
  // while it was read would give a set that no longer matches either.
  FileStamp after;
  if (outcome == Outcome::kDone && (!file->Stamp(after) || after != before || data.sourceBytes() != before.size))
    outcome = run.Read();
  manifest.sourceLength = data.sourceBytes();
  manifest.pieceCount = run.pieces();
  // With recovery pieces, the pieces' CRCs come from their stripes'.
  if (outcome == Outcome::kDone && recovery) {
    for (std::uint64_t k = 0; k < manifest.pieceCount; ++k)
      manifest.pieceCrcs[std::size_t(k)] = recoveryWriter.PieceCrc(k, manifest.PieceLength(k));
  }
  if (outcome == Outcome::kDone && recovery) {
    SourceSequence again(header, *file);
    outcome = run.WriteRecovery(recoveryWriter, again);
  }
  file.reset();
  if (outcome == Outcome::kDone) outcome = run.WriteRestoreProgram(plan.program, plan.image);
  if (outcome == Outcome::kDone) outcome = run.WriteRestorePage(plan.page, plan.pageTemplate);
  SplitOutcome result;
  if (outcome != Outcome::kDone) {
    const NameTally left = run.RemoveCreated();
    result.kind = outcome == Outcome::kStopped ? SplitOutcome::Kind::kStopped : SplitOutcome::Kind::kRefused;
    if (outcome != Outcome::kStopped)
      result.refusal =
          WithDetail(outcome == Outcome::kReadFailed ? kCannotReadFile : kCannotWriteFile, run.failedFile());
    if (!left.empty()) result.notRemoved = WithDetail(kCannotWriteFile, left.Text());
    result.left = left.count();
    return result;
  }
  result.kind = SplitOutcome::Kind::kWritten;
  result.notRemoved = RemoveStalePieces(named, run.pieces(), recovery);
  result.pieces = run.pieces();
  result.recovery = recovery;
  result.program = plan.program;
  result.page = plan.page;
  return result;
}

}  // namespace morsela
