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
  return kRecoveryHeaderSize + ManifestBodyLength(manifest);
}

std::uint64_t RecoveryPieceLength(const Manifest& manifest) {
  return RecoveryDataOffset(manifest) + manifest.RecoveryDataSize();
}

bool ReadRecoveryHeadFields(InputFile& file, RecoveryHeadFields& fields) {
  std::string head(kRecoveryHeaderSize, '\0');
  if (!file.Seek(0) || file.Read(&head[0], head.size()) != head.size() || file.Failed()) return false;
  if (std::memcmp(head.data(), kMagic, sizeof kMagic) != 0 || Get(head, 28, 4) != Crc32c(0, head.data(), 28))
    return false;
  fields.version = std::uint32_t(Get(head, 8, 4));
  fields.index = Get(head, 12, 4);
  fields.manifestLength = Get(head, 16, 8);
  fields.manifestCrc = std::uint32_t(Get(head, 24, 4));
  return true;
}

std::pair<std::uint64_t, std::uint32_t> ManifestBodyKey(const Manifest& manifest) {
  const std::string body = EncodeManifestBody(manifest);
  return {body.size(), Crc32c(0, body.data(), body.size())};
}

RecoveryRead ReadRecoveryHead(InputFile& file) {
  RecoveryRead read, unreadable, newer;
  read.state = ManifestState::kDamaged;
  unreadable.state = ManifestState::kUnreadable;
  std::uint64_t size = 0;
  RecoveryHeadFields head;
  if (!file.Size(size)) return unreadable;
  if (!ReadRecoveryHeadFields(file, head)) return file.Failed() ? unreadable : read;
  if (head.version > kManifestVersion) {
    newer.state = ManifestState::kNewer;
    newer.version = head.version;
    return newer;
  }
  if (head.manifestLength > kLongestManifest || head.manifestLength > size - kRecoveryHeaderSize) return read;
  std::string body(std::size_t(head.manifestLength), '\0');
  if (file.Read(&body[0], body.size()) != body.size())
    return file.Failed() ? unreadable : read;
  if (Crc32c(0, body.data(), body.size()) != head.manifestCrc ||
      !DecodeManifestBody(body, head.version, read.manifest) || read.manifest.recoveryCount == 0 ||
      head.index >= read.manifest.recoveryCount)
    return read;
  read.index = head.index;
  read.state = ManifestState::kValid;
  return read;
}

}  // namespace morsela
