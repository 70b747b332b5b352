#include "format/recovery_piece.h"

#include <cstring>
#include <memory>
#include <vector>

#include "format/crc32c.h"
#include "format/little_endian.h"
#include "format/pieces.h"
#include "text/case_fold.h"
#include "text/text.h"

namespace morsela {

namespace {

constexpr char kMagic[8] = {'M', 'O', 'R', 'S', 'E', 'L', 'A', '\x1B'};
// Bounds what is read, as for the manifest after a program.
constexpr std::uint64_t kLongestManifest = std::uint64_t(1) << 30;

void Put(std::string& out, std::uint64_t v, int width) { PutLittleEndian(out, v, width); }
std::uint64_t Get(const std::string& bytes, std::size_t at, int width) { return GetLittleEndian(bytes, at, width); }

}  // namespace

std::string RecoveryPieceFileName(const std::string& baseName, std::uint64_t j) {
  return baseName + kPieceMarker + "r" + FormatDecimal(j + 1);
}

std::optional<std::uint64_t> RecoveryPieceNumber(const std::string& name, const std::string& baseName) {
  const std::optional<std::string> rest = AfterPrefixNoCase(name, baseName + kPieceMarker);
  if (!rest || rest->size() < 2 || ((*rest)[0] != 'r' && (*rest)[0] != 'R') || (*rest)[1] == '0' ||
      rest->size() > 6)
    return std::nullopt;
  std::uint64_t number = 0;
  for (std::size_t i = 1; i < rest->size(); ++i) {
    const char c = (*rest)[i];
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + std::uint64_t(c - '0');
  }
  return number - 1;
}

std::string EncodeRecoveryHead(const Manifest& manifest, std::uint64_t index) {
  const std::string body = EncodeManifestBody(manifest);
  std::string head(kMagic, sizeof kMagic);
  Put(head, manifest.Version(), 4);
  Put(head, index, 4);
  Put(head, body.size(), 8);
  Put(head, Crc32c(0, body.data(), body.size()), 4);
  Put(head, Crc32c(0, head.data(), head.size()), 4);
  return head + body;
}

std::uint64_t RecoveryDataOffset(const Manifest& manifest) {
  // The manifest's length follows from its fields.
  return kRecoveryHeaderSize + kManifestFixedSize2 + manifest.baseName.size() + manifest.storedName.size() +
         4 * (manifest.pieceCount + manifest.recoveryCount);
}

std::uint64_t RecoveryPieceLength(const Manifest& manifest) {
  return RecoveryDataOffset(manifest) + manifest.RecoveryDataSize();
}

RecoveryRead ReadRecoveryHead(InputFile& file) {
  RecoveryRead read, unreadable, newer;
  read.state = ManifestState::kDamaged;
  unreadable.state = ManifestState::kUnreadable;
  std::uint64_t size = 0;
  std::string head(kRecoveryHeaderSize, '\0');
  if (!file.Size(size) || !file.Seek(0)) return unreadable;
  if (size < kRecoveryHeaderSize || file.Read(&head[0], head.size()) != head.size())
    return file.Failed() ? unreadable : read;
  if (std::memcmp(head.data(), kMagic, sizeof kMagic) != 0 || Get(head, 28, 4) != Crc32c(0, head.data(), 28))
    return read;
  const std::uint32_t version = std::uint32_t(Get(head, 8, 4));
  if (version > kManifestVersion) {
    newer.state = ManifestState::kNewer;
    newer.version = version;
    return newer;
  }
  const std::uint64_t length = Get(head, 16, 8);
  if (length > kLongestManifest || length > size - kRecoveryHeaderSize) return read;
  std::string body(std::size_t(length), '\0');
  if (file.Read(&body[0], body.size()) != body.size())
    return file.Failed() ? unreadable : read;
  if (Crc32c(0, body.data(), body.size()) != Get(head, 24, 4) ||
      !DecodeManifestBody(body, version, read.manifest) || read.manifest.recoveryCount == 0 ||
      Get(head, 12, 4) >= read.manifest.recoveryCount)
    return read;
  read.index = Get(head, 12, 4);
  read.state = ManifestState::kValid;
  return read;
}

ManifestRead FindRecoveryManifest(const std::string& folder, const std::string& baseName, std::string& from) {
  ManifestRead read;
  std::vector<DirEntry> entries;
  if (!System().List(folder + baseName + kPieceMarker + "r*", entries)) return read;
  for (const DirEntry& entry : entries) {
    if (entry.isDirectory || !RecoveryPieceNumber(entry.name, baseName)) continue;
    std::unique_ptr<InputFile> file = System().OpenRead(folder + entry.name);
    if (!file) continue;
    RecoveryRead head = ReadRecoveryHead(*file);
    if (head.state == ManifestState::kValid && EqualsNoCase(head.manifest.baseName, baseName)) {
      from = entry.name;
      read.state = ManifestState::kValid;
      read.manifest = std::move(head.manifest);
      return read;
    }
    // One of a format unknown here is told of when no other one serves.
    if (head.state == ManifestState::kNewer && read.state == ManifestState::kAbsent) {
      from = entry.name;
      read.state = ManifestState::kNewer;
      read.version = head.version;
    }
  }
  return read;
}

}  // namespace morsela
