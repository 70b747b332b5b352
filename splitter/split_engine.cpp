#include "split_engine.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "pieces.h"
#include "platform.h"
#include "text.h"

namespace morsela {

const char kPathnameIncorrect[] = "Pathname incorrect";
const char kFileTooSmall[] = "File Too Small";

namespace {

// Data moves through one buffer of this size; see bench/ for the choice.
constexpr std::size_t kBlockSize = 1 << 20;

enum class Outcome { kDone, kReadFailed, kWriteFailed };

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
    return end_ > 0 && !source_.Failed();
  }
  bool Failed() const { return source_.Failed(); }

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
};

// Files written by one split, removed again if the split fails.
class WrittenFiles {
 public:
  void Add(const std::string& path) { paths_.push_back(path); }
  void RemoveAll() {
    for (const std::string& path : paths_) System().Remove(path);
    paths_.clear();
  }

 private:
  std::vector<std::string> paths_;
};

// Writes pieces of `pieceSize` bytes from `data` until it ends; `written`
// learns every file created, `pieces` the count written.
Outcome WritePieces(const std::string& path, std::uint64_t pieceSize, HeadedSource& data,
                    WrittenFiles& written, std::uint64_t& pieces) {
  for (std::uint64_t k = 0;; ++k) {
    const std::string name = PieceName(path, k);
    std::unique_ptr<OutputFile> piece = System().Create(name);
    written.Add(name);
    if (!piece) return Outcome::kWriteFailed;
    std::uint64_t room = pieceSize;
    while (room > 0 && data.Fill()) {
      auto [bytes, n] = data.Take(room);
      if (!piece->Write(bytes, n)) return Outcome::kWriteFailed;
      room -= n;
    }
    if (data.Failed()) return Outcome::kReadFailed;
    if (!piece->Close()) return Outcome::kWriteFailed;
    pieces = k + 1;
    // A full piece is followed by another only when data remain, so no
    // empty piece is ever made.
    if (room > 0 || !data.Fill()) return data.Failed() ? Outcome::kReadFailed : Outcome::kDone;
  }
}

Outcome WriteRestoreProgram(const std::string& name, std::string_view image,
                            WrittenFiles& written) {
  std::unique_ptr<OutputFile> file = System().Create(name);
  written.Add(name);
  if (!file || !file->Write(image.data(), image.size()) || !file->Close())
    return Outcome::kWriteFailed;
  return Outcome::kDone;
}

bool IsRegularFile(const std::string& path) {
  std::vector<DirEntry> found = System().Find(path);
  return !found.empty() && !found.front().isDirectory;
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

void CSplitEngine::SplitFile(const std::string& path, std::uint32_t sizeKb,
                             std::uint64_t pieceCount) const {
  Platform& system = System();
  if (!FileExists(path)) return system.ShowMessage(kPathnameIncorrect);
  if (pieceCount == 0 || sizeKb == 0) return system.ShowMessage(kFileTooSmall);

  // Without an image the restore program would be an empty file that
  // cannot rebuild anything: refuse before writing.
  const std::string_view image = system.RestoreImage();
  if (image.empty()) return system.ShowMessage(kCannotWriteFile);

  std::unique_ptr<InputFile> source = system.OpenRead(path);
  if (!source) return system.ShowMessage(kCannotReadFile);

  std::string header = morsela::FileNameOf(path);
  header.push_back('\0');
  HeadedSource data(header, *source);
  WrittenFiles written;
  std::uint64_t pieces = 0;
  Outcome outcome = WritePieces(path, std::uint64_t(sizeKb) * kBytesPerKb, data, written, pieces);
  source.reset();
  if (outcome == Outcome::kDone) outcome = WriteRestoreProgram(RestoreProgramName(path), image, written);
  if (outcome != Outcome::kDone) {
    written.RemoveAll();
    return system.ShowMessage(outcome == Outcome::kReadFailed ? kCannotReadFile : kCannotWriteFile);
  }

  // Pieces of an earlier, longer split would be joined after this one's.
  for (std::uint64_t k = pieces; IsRegularFile(PieceName(path, k)); ++k)
    system.Remove(PieceName(path, k));
}

}  // namespace morsela
