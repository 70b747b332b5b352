#include "restore_job.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "messages.h"
#include "piece_scan.h"
#include "pieces.h"
#include "platform.h"
#include "stored_name.h"
#include "text.h"

namespace morsela {

const char kNoSplitFileFound[] = "No Split File Found !";
const char kFileNotFound[] = "File Not Found !";
const char kInvalidFileName[] = "Invalid File Name !";
const char kSplitFileDamaged[] = "Split File Damaged !";

namespace {

constexpr std::size_t kBlockSize = 1 << 20;
// A stored name is at most this long, so its 0 byte lies within one more.
constexpr std::size_t kLongestHeader = 256;

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

enum class Outcome { kDone, kReadFailed, kWriteFailed, kDamaged };

// Copies the pieces' data (the head piece's after its header) to `out`,
// checking that each piece held the bytes its directory entry gave.
class Joiner {
 public:
  Joiner(Platform& system, const std::string& prefix, std::vector<char>& buffer)
      : system_(system), prefix_(prefix), buffer_(buffer) {}

  Outcome Join(const std::vector<Piece>& pieces, std::size_t headerSize, OutputFile& out) {
    for (std::size_t p = 0; p < pieces.size(); ++p) {
      const Outcome outcome = CopyPiece(pieces[p], p == 0 ? headerSize : 0, out);
      if (outcome != Outcome::kDone) return outcome;
    }
    return Outcome::kDone;
  }

 private:
  Outcome CopyPiece(const Piece& piece, std::size_t skip, OutputFile& out) {
    std::unique_ptr<InputFile> in = system_.OpenRead(prefix_ + piece.name);
    if (!in) return Outcome::kReadFailed;
    if (skip > 0) {  // the head piece's header, read before
      const std::size_t got = in->Read(buffer_.data(), skip);
      if (in->Failed()) return Outcome::kReadFailed;
      if (got != skip) return Outcome::kDamaged;
    }
    bool writeFailed = false;
    const std::uint64_t copied = in->CopyTo(out, buffer_, writeFailed);
    if (writeFailed) return Outcome::kWriteFailed;
    if (in->Failed()) return Outcome::kReadFailed;
    return skip + copied == piece.size ? Outcome::kDone : Outcome::kDamaged;
  }

  Platform& system_;
  const std::string& prefix_;
  std::vector<char>& buffer_;
};

// The stored name of the head piece and the size of its header (the name and
// its 0 byte, or the whole piece when it holds no 0 byte). Nothing when the
// piece cannot be read; a name longer than any valid one is cut, so that
// the check refuses it.
std::optional<std::pair<std::string, std::size_t>> ReadStoredName(Platform& system,
                                                                  const std::string& path) {
  std::unique_ptr<InputFile> head = system.OpenRead(path);
  if (!head) return std::nullopt;
  char bytes[kLongestHeader + 1];
  const std::size_t got = head->Read(bytes, sizeof bytes);
  if (head->Failed()) return std::nullopt;
  const char* zero = static_cast<const char*>(std::memchr(bytes, 0, got));
  if (zero) return std::make_pair(std::string(bytes, std::size_t(zero - bytes)), std::size_t(zero - bytes) + 1);
  // No 0 byte: the name is the whole piece, which then gives no data.
  return std::make_pair(std::string(bytes, got), got);
}

// A name for the output while it is written, free in the directory and
// outside the piece pattern.
std::string TemporaryName(Platform& system, const std::string& prefix) {
  for (unsigned k = 0;; ++k) {
    std::string name = "~morsela" + FormatDecimal(k) + ".tmp";
    if (system.Find(prefix + name).empty()) return name;
  }
}

int Refuse(Platform& system, const char* message) {
  system.ShowMessage(message);
  return 1;
}

}  // namespace

int RestoreSplitFile(const RestoreStart& start) {
  Platform& system = System();

  std::optional<Self> self = FindSelf(system, start.invocation, start.absoluteInvocation);
  if (!self) self = FindSelf(system, start.modulePath, start.modulePath);
  if (!self) return Refuse(system, kNoSplitFileFound);

  const std::string baseName = BaseNameOf(self->name);
  const std::vector<Piece> pieces =
      CollectPieces(system.Find(self->prefix + baseName + kPieceMarker + "*"), baseName);
  if (pieces.empty()) return Refuse(system, kNoSplitFileFound);
  if (!IsUnbrokenSequence(pieces)) return Refuse(system, kFileNotFound);
  if (!HasSplitShape(pieces)) return Refuse(system, kSplitFileDamaged);

  const auto stored = ReadStoredName(system, self->prefix + pieces.front().name);
  if (!stored) return Refuse(system, kCannotReadFile);
  const auto& [name, headerSize] = *stored;
  std::vector<std::string> taken{self->name};
  for (const Piece& piece : pieces) taken.push_back(piece.name);
  if (!IsAcceptableStoredName(name, taken)) return Refuse(system, kInvalidFileName);

  const std::string temporary = self->prefix + TemporaryName(system, self->prefix);
  std::unique_ptr<OutputFile> out = system.Create(temporary);
  if (!out) return Refuse(system, kCannotWriteFile);
  std::vector<char> buffer(kBlockSize);
  Outcome outcome = Joiner(system, self->prefix, buffer).Join(pieces, headerSize, *out);
  if (outcome == Outcome::kDone && !out->Close()) outcome = Outcome::kWriteFailed;
  out.reset();
  if (outcome == Outcome::kDone && !system.Replace(temporary, self->prefix + name)) {
    outcome = Outcome::kWriteFailed;
  }
  if (outcome == Outcome::kDone) return 0;

  system.Remove(temporary);
  switch (outcome) {
    case Outcome::kReadFailed: return Refuse(system, kCannotReadFile);
    case Outcome::kDamaged: return Refuse(system, kSplitFileDamaged);
    default: return Refuse(system, kCannotWriteFile);
  }
}

}  // namespace morsela
