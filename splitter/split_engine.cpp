#include "split_engine.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "crc32c.h"
#include "manifest.h"
#include "pieces.h"
#include "platform.h"
#include "text.h"

namespace morsela {

const char kPathnameIncorrect[] = "Pathname incorrect";
const char kFileTooSmall[] = "File Too Small";

namespace {

// Data moves through one buffer of this size; see bench/ for the choice.
constexpr std::size_t kBlockSize = 1 << 20;

enum class Outcome { kDone, kReadFailed, kWriteFailed, kStopped };

// The byte sequence that the pieces cut: the name header, then the source.
class HeadedSource {
 public:
  HeadedSource(const std::string& header, InputFile& source)
      : buffer_(std::max(kBlockSize, header.size())), source_(source) {
    std::copy(header.begin(), header.end(), buffer_.begin());
    end_ = header.size();
  }

  // Makes bytes available; false at the end of the sequence or on a read
  // error (then Failed()).
  bool Fill() {
    if (pos_ < end_) return true;
    pos_ = 0;
    end_ = source_.Read(buffer_.data(), buffer_.size());
    sourceBytes_ += end_;
    return end_ > 0 && !source_.Failed();
  }
  bool Failed() const { return source_.Failed(); }
  std::uint64_t sourceBytes() const { return sourceBytes_; }

  // Up to `limit` buffered bytes, consumed.
  std::pair<const char*, std::size_t> Take(std::uint64_t limit) {
    std::size_t n = std::size_t(std::min<std::uint64_t>(limit, end_ - pos_));
    const char* data = buffer_.data() + pos_;
    pos_ += n;
    return {data, n};
  }

 private:
  std::vector<char> buffer_;
  InputFile& source_;
  std::size_t pos_ = 0, end_ = 0;
  std::uint64_t sourceBytes_ = 0;
};

// One call of SplitFile: the files it created, so that a failure removes
// exactly those (the pieces follow from their count, so no list is kept),
// the manifest it builds and the file a failure concerns.
class SplitRun {
 public:
  SplitRun(const std::string& path, std::uint64_t pieceSize, Progress* progress)
      : path_(path), pieceSize_(pieceSize), progress_(progress) {}

  // Writes pieces from `data` until it ends. `expected` is the count the
  // caller foresaw and `total` the bytes foreseen, for the progress.
  Outcome WritePieces(HeadedSource& data, std::uint64_t expected, std::uint64_t total) {
    ProgressReport report{0, total, 0, expected};
    for (std::uint64_t k = 0;; ++k) {
      const std::string name = PieceName(path_, k);
      const auto writeFailed = [&] {
        failedFile_ = name;
        return Outcome::kWriteFailed;
      };
      std::unique_ptr<OutputFile> piece = System().Create(name);
      // A file that could not be created is not ours: it is never removed.
      if (!piece) return writeFailed();
      created_ = k + 1;
      Crc32cState crc;
      std::uint64_t room = pieceSize_;
      report.piece = k;
      report.pieces = std::max(expected, k + 1);
      while (room > 0 && data.Fill()) {
        auto [bytes, n] = data.Take(room);
        if (!piece->Write(bytes, n)) return writeFailed();
        crc.Update(bytes, n);
        room -= n;
        report.done += n;
        report.total = std::max(report.total, report.done);
        if (progress_ && !progress_->Advance(report)) return Outcome::kStopped;
      }
      if (data.Failed()) return Read();
      if (!piece->Close()) return writeFailed();
      manifest_.pieceCrcs.push_back(crc.value());
      // A full piece is followed by another only when data remain, so no
      // empty piece is ever made.
      if (room > 0 || !data.Fill()) return data.Failed() ? Read() : Outcome::kDone;
    }
  }

  Outcome WriteRestoreProgram(const std::string& name, std::string_view image) {
    failedFile_ = name;
    std::unique_ptr<OutputFile> file = System().Create(name);
    if (!file) return Outcome::kWriteFailed;
    programCreated_ = true;
    const std::string manifest = EncodeManifest(manifest_, image.size());
    if (!file->Write(image.data(), image.size()) || !file->Write(manifest.data(), manifest.size()) ||
        !file->Close())
      return Outcome::kWriteFailed;
    return Outcome::kDone;
  }

  void RemoveCreated() {
    for (std::uint64_t k = 0; k < created_; ++k) System().Remove(PieceName(path_, k));
    if (programCreated_) System().Remove(RestoreProgramName(path_));
  }

  // A read failure concerns the source, whatever piece was being written.
  Outcome Read() {
    failedFile_ = path_;
    return Outcome::kReadFailed;
  }

  Manifest& manifest() { return manifest_; }
  std::uint64_t pieces() const { return manifest_.pieceCrcs.size(); }
  const std::string& failedFile() const { return failedFile_; }

 private:
  const std::string& path_;
  std::uint64_t pieceSize_;
  Progress* progress_;
  std::uint64_t created_ = 0;
  bool programCreated_ = false;
  Manifest manifest_;
  std::string failedFile_;
};

bool IsRegularFile(const std::string& path) {
  std::vector<DirEntry> found = System().Find(path);
  return !found.empty() && !found.front().isDirectory;
}

// The source as its directory entry describes it; nothing when it is gone.
std::optional<DirEntry> Stamp(const std::string& path) {
  std::vector<DirEntry> found = System().Find(path);
  if (found.empty()) return std::nullopt;
  return found.front();
}

// Removes the pieces of an earlier, longer split that would be joined
// after this one's by a restore program that trusts the names alone. Those
// that cannot be removed are reported.
void RemoveStalePieces(const std::string& path, std::uint64_t pieces) {
  std::vector<std::string> kept;
  std::uint64_t keptCount = 0;
  for (std::uint64_t k = pieces; IsRegularFile(PieceName(path, k)); ++k) {
    if (System().Remove(PieceName(path, k))) continue;
    if (kept.size() < kNamesShown) kept.push_back(FileNameOf(PieceName(path, k)));
    ++keptCount;
  }
  if (keptCount > 0) System().ShowMessage(WithDetail(kCannotWriteFile, NameList(kept, keptCount)));
}

// Shows why the split did not happen (or left nothing) and says so.
SplitResult Refuse(const std::string& text) {
  System().ShowMessage(text);
  return SplitResult{};
}

}  // namespace

std::string CSplitEngine::DirectoryOf(const std::string& path) const {
  return morsela::DirectoryOf(path);
}
std::string CSplitEngine::FileNameOf(const std::string& path) const {
  return morsela::FileNameOf(path);
}
std::string CSplitEngine::BaseNameOf(const std::string& path) const {
  return morsela::BaseNameOf(path);
}
std::uint32_t CSplitEngine::ParseDecimal(const std::string& text) const {
  return morsela::ParseDecimal(text);
}
std::string CSplitEngine::FormatDecimal(std::uint64_t value) const {
  return morsela::FormatDecimal(value);
}

bool CSplitEngine::FileExists(const std::string& path) const {
  return !System().Find(path).empty();
}

SplitResult CSplitEngine::SplitFile(const std::string& path, std::uint32_t sizeKb,
                                    std::uint64_t pieceCount, Progress* progress) const {
  Platform& system = System();
  if (!FileExists(path)) return Refuse(kPathnameIncorrect);
  if (pieceCount == 0 || sizeKb == 0) return Refuse(kFileTooSmall);

  // Without an image the restore program would be an empty file that
  // cannot rebuild anything: refuse before writing.
  const std::string_view image = system.RestoreImage();
  const std::string program = RestoreProgramName(path);
  if (image.empty()) return Refuse(WithDetail(kCannotWriteFile, program));

  std::unique_ptr<InputFile> source = system.OpenRead(path);
  const std::optional<DirEntry> before = source ? Stamp(path) : std::nullopt;
  if (!before) return Refuse(WithDetail(kCannotReadFile, path));

  const std::uint64_t pieceSize = std::uint64_t(sizeKb) * kBytesPerKb;
  std::string header = morsela::FileNameOf(path);
  const std::uint64_t total = header.size() + 1 + before->size;
  if (progress) progress->Begin(header, total);
  SplitRun run(path, pieceSize, progress);
  Manifest& manifest = run.manifest();
  manifest.baseName = morsela::BaseNameOf(path);
  manifest.storedName = header;
  manifest.pieceSize = pieceSize;
  header.push_back('\0');
  HeadedSource data(header, *source);
  Outcome outcome = run.WritePieces(data, pieceCount, total);
  source.reset();
  if (outcome == Outcome::kDone) {
    // The manifest vouches for one version of the source: one that changed
    // while it was read would give a set that no longer matches either.
    const std::optional<DirEntry> after = Stamp(path);
    if (!after || after->size != before->size || after->writeTime != before->writeTime ||
        data.sourceBytes() != before->size)
      outcome = run.Read();
  }
  manifest.sourceLength = data.sourceBytes();
  manifest.pieceCount = run.pieces();
  if (outcome == Outcome::kDone) outcome = run.WriteRestoreProgram(program, image);
  if (outcome != Outcome::kDone) {
    run.RemoveCreated();
    if (outcome == Outcome::kStopped) return SplitResult{SplitResult::Outcome::kStopped, 0, {}};
    return Refuse(WithDetail(outcome == Outcome::kReadFailed ? kCannotReadFile : kCannotWriteFile,
                             run.failedFile()));
  }

  RemoveStalePieces(path, run.pieces());
  return SplitResult{SplitResult::Outcome::kWritten, run.pieces(), program};
}

}  // namespace morsela
