#include "format/manifest.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "format/crc32c.h"
#include "format/erasure_code.h"
#include "format/little_endian.h"
#include "format/stored_name.h"

namespace morsela {

namespace {

// The last eight bytes of a restore program that carries a manifest.
constexpr char kMagic[8] = {'M', 'O', 'R', 'S', 'E', 'L', 'A', '\x1A'};

// A manifest is four bytes a piece and two short names: a quarter of a
// billion pieces is far beyond any real set, and a bound on what is read.
constexpr std::uint64_t kLongestManifest = std::uint64_t(1) << 30;
// A stored name is at most 255 UTF-16 units, three bytes each in UTF-8.
constexpr std::uint32_t kLongestName = 1024;

void PutU32(std::string& out, std::uint32_t v) { PutLittleEndian(out, v, 4); }
void PutU64(std::string& out, std::uint64_t v) { PutLittleEndian(out, v, 8); }
std::uint64_t Get(std::string_view bytes, std::size_t at, int width) { return GetLittleEndian(bytes, at, width); }
std::uint32_t GetU32(std::string_view bytes, std::size_t at) { return std::uint32_t(Get(bytes, at, 4)); }
std::uint64_t GetU64(std::string_view bytes, std::size_t at) { return Get(bytes, at, 8); }

// Reads exactly `size` bytes at `offset`; false when the file has fewer.
bool ReadAt(InputFile& file, std::uint64_t offset, std::string& bytes, std::size_t size) {
  bytes.assign(size, '\0');
  return file.Seek(offset) && file.Read(&bytes[0], size) == size && !file.Failed();
}

// The bytes the header and the source make together, when that and the
// count agree: the count is the one the piece size gives.
bool CountAgrees(const Manifest& m) {
  if (m.pieceSize == 0 || m.pieceCount == 0 || m.sourceLength > (std::uint64_t(1) << 62)) return false;
  const std::uint64_t bytes = m.storedName.size() + 1 + m.sourceLength;
  return m.pieceCount == (bytes + m.pieceSize - 1) / m.pieceSize;
}

bool Decode(std::string_view bytes, std::uint32_t version, Manifest& m) {
  const std::size_t fixed = version >= 3 ? kManifestFixedSize3 : version == 2 ? kManifestFixedSize2 : kManifestFixedSize;
  if (bytes.size() < fixed || GetU32(bytes, 0) != version) return false;
  const std::uint32_t baseLength = GetU32(bytes, 4), nameLength = GetU32(bytes, 8);
  if (baseLength > kLongestName || nameLength > kLongestName || GetU32(bytes, 12) != 0) return false;
  m.sourceLength = GetU64(bytes, 16);
  m.pieceSize = GetU64(bytes, 24);
  m.pieceCount = GetU64(bytes, 32);
  m.recoveryCount = version >= 2 ? GetU64(bytes, 40) : 0;
  m.stripeSize = version >= 3 ? GetU64(bytes, 48) : 0;
  const std::uint64_t names = fixed + std::uint64_t(baseLength) + nameLength;
  if (names > bytes.size() || (bytes.size() - names) % 4 != 0) return false;
  const std::uint64_t crcs = (bytes.size() - names) / 4;
  // A stripe is a power of two of bytes, from 2 (a whole word) to 1 MiB;
  // every piece and recovery piece has a CRC for each row. (The counts are
  // bounded below; a product that overflows meets a count that fails.)
  const bool striped = version >= 3;
  if (striped && (m.stripeSize < 2 || m.stripeSize > kLargestStripe || (m.stripeSize & (m.stripeSize - 1)) != 0 ||
                  m.recoveryCount == 0 || m.pieceSize > crcs * m.stripeSize))
    return false;
  const std::uint64_t files = m.pieceCount + m.recoveryCount;
  if (m.recoveryCount > crcs || files * (striped ? 1 + m.Rows() : 1) != crcs) return false;
  m.baseName.assign(bytes.substr(fixed, baseLength));
  m.storedName.assign(bytes.substr(fixed + baseLength, nameLength));
  // The pieces are looked for beside the program under the base name: one
  // that leads elsewhere is no manifest of a split's. A set with recovery
  // pieces keeps within what the code allows.
  if (!CountAgrees(m) || !IsAcceptableBaseName(m.baseName) ||
      (m.recoveryCount > 0 && !RecoveryFits(m.pieceCount, m.recoveryCount)))
    return false;
  std::size_t at = std::size_t(names);
  const auto read = [&](std::vector<std::uint32_t>& list, std::uint64_t count) {
    list.resize(std::size_t(count));
    for (std::uint32_t& crc : list) {
      crc = GetU32(bytes, at);
      at += 4;
    }
  };
  read(m.pieceCrcs, m.pieceCount);
  read(m.recoveryCrcs, m.recoveryCount);
  read(m.stripeCrcs, crcs - files);
  return true;
}

}  // namespace

std::uint64_t Manifest::PieceLength(std::uint64_t k) const {
  if (k + 1 < pieceCount) return pieceSize;
  return storedName.size() + 1 + sourceLength - (pieceCount - 1) * pieceSize;
}

std::uint32_t Manifest::StripeCrc(std::uint64_t index, std::uint64_t row) const {
  if (stripeSize) return stripeCrcs[std::size_t(index * Rows() + row)];
  return index < pieceCount ? pieceCrcs[std::size_t(index)] : recoveryCrcs[std::size_t(index - pieceCount)];
}

std::uint64_t Manifest::StripeLength(std::uint64_t index, std::uint64_t row) const {
  const std::uint64_t length = index < pieceCount ? PieceLength(index) : RecoveryDataSize();
  const std::uint64_t from = row * StripeSize();
  return from >= length ? 0 : std::min(StripeSize(), length - from);
}

std::uint64_t ManifestBodyLength(const Manifest& m) {
  const std::size_t fixed = m.Version() >= 3 ? kManifestFixedSize3 : m.Version() == 2 ? kManifestFixedSize2 : kManifestFixedSize;
  const std::uint64_t files = m.pieceCount + m.recoveryCount;
  return fixed + m.baseName.size() + m.storedName.size() + 4 * files * (m.Version() >= 3 ? 1 + m.Rows() : 1);
}

namespace {

// Hands the manifest's bytes to `put` in parts of at most a few KiB (the
// fixed part and the names, the CRCs); returns their length and CRC.
template <class Put>
std::pair<std::uint64_t, std::uint32_t> EncodeBody(const Manifest& m, Put put) {
  std::string part;
  PutU32(part, m.Version());
  PutU32(part, std::uint32_t(m.baseName.size()));
  PutU32(part, std::uint32_t(m.storedName.size()));
  PutU32(part, 0);
  PutU64(part, m.sourceLength);
  PutU64(part, m.pieceSize);
  PutU64(part, m.pieceCount);
  if (m.Version() >= 2) PutU64(part, m.recoveryCount);
  if (m.Version() >= 3) PutU64(part, m.stripeSize);
  part += m.baseName;
  part += m.storedName;
  std::uint64_t length = 0;
  Crc32cState crc;
  const auto emit = [&] {
    length += part.size();
    crc.Update(part.data(), part.size());
    put(part);
    part.clear();
  };
  emit();
  constexpr std::size_t kCrcsAtOnce = 1024;
  for (const std::vector<std::uint32_t>* crcs : {&m.pieceCrcs, &m.recoveryCrcs, &m.stripeCrcs}) {
    for (std::size_t k = 0; k < crcs->size(); ++k) {
      PutU32(part, (*crcs)[k]);
      if ((k + 1) % kCrcsAtOnce == 0) emit();
    }
    emit();
  }
  return {length, crc.value()};
}

// The manifest and its footer, handed to `put` in parts.
template <class Put>
void Encode(const Manifest& m, std::uint64_t imageLength, Put put) {
  const auto [length, crc] = EncodeBody(m, put);
  std::string footer;
  PutU64(footer, imageLength);
  PutU64(footer, length);
  PutU32(footer, crc);
  PutU32(footer, m.Version());
  footer.append(kMagic, sizeof kMagic);
  put(footer);
}

}  // namespace

std::string EncodeManifestBody(const Manifest& m) {
  std::string out;
  EncodeBody(m, [&](const std::string& part) { out += part; });
  return out;
}

bool DecodeManifestBody(std::string_view bytes, std::uint32_t version, Manifest& m) {
  return version >= 1 && version <= kManifestVersion && Decode(bytes, version, m);
}

std::string EncodeManifest(const Manifest& m, std::uint64_t imageLength) {
  std::string out;
  Encode(m, imageLength, [&](const std::string& part) { out += part; });
  return out;
}

bool WriteManifest(const Manifest& m, std::uint64_t imageLength, OutputFile& out) {
  bool written = true;
  Encode(m, imageLength, [&](const std::string& part) { written = written && out.Write(part.data(), part.size()); });
  return written;
}

namespace {

// A signer appends its certificate table at the end of the file, after
// padding the file with zeros to a multiple of 8 bytes. When such a table
// ends the file and something lies between it and the image, the footer
// should end just before it: where it ends, or nothing when it is not
// there.
std::optional<std::uint64_t> FooterBeforeCertificates(InputFile& program, const ExecutableLayout& layout) {
  constexpr std::uint64_t kAlignment = 8;
  const std::uint64_t table = layout.certificateOffset;
  std::string tail;
  if (table < kFooterSize + kAlignment - 1 || !ReadAt(program, table - (kFooterSize + kAlignment - 1), tail,
                                                      kFooterSize + kAlignment - 1))
    return std::nullopt;
  for (std::size_t pad = 0; pad < kAlignment; ++pad) {
    const std::size_t end = tail.size() - pad;
    if (tail.find_first_not_of('\0', end) == std::string::npos &&
        std::memcmp(tail.data() + end - sizeof kMagic, kMagic, sizeof kMagic) == 0)
      return table - pad;
  }
  return std::nullopt;
}

// A signature with a description in it: the signature, the description's
// certificate and the set's other certificates are some KiB; anything far
// larger than the longest manifest is no table of ours.
constexpr std::uint64_t kLongestTable = kLongestManifest + (std::uint64_t(1) << 20);

}  // namespace

ManifestRead ReadManifest(InputFile& program) {
  ManifestRead result;
  std::uint64_t fileSize = 0;
  std::string head, footer;
  const ManifestRead unreadable{ManifestState::kUnreadable, {}, 0};
  if (!program.Size(fileSize)) return unreadable;
  const std::size_t headSize = std::size_t(fileSize < kExecutableHeadSize ? fileSize : kExecutableHeadSize);
  if (!ReadAt(program, 0, head, headSize)) return unreadable;
  const ExecutableLayout layout = ReadExecutableLayout(head);
  std::uint64_t imageEnd = ExecutableImageEnd(head);

  // Where the footer ends: the file's end, or the start of a certificate
  // table that a signer added after the manifest. A table that ends the
  // file right after the sections is the image's own signature, which
  // carries the description when the image was signed before the split.
  std::uint64_t end = fileSize;
  const std::uint64_t certificateEnd = layout.certificateOffset + layout.certificateSize;
  const bool tableEndsFile = layout.sectionsEnd != 0 && layout.certificateSize > 0 && certificateEnd == fileSize;
  if (tableEndsFile && layout.certificateOffset > (layout.sectionsEnd + 7) / 8 * 8) {
    const std::optional<std::uint64_t> before = FooterBeforeCertificates(program, layout);
    if (program.Failed()) return unreadable;
    // Something was appended to the image before it was signed, and it is
    // no manifest.
    if (!before) return ManifestRead{ManifestState::kDamaged, {}, 0};
    end = *before;
    imageEnd = layout.sectionsEnd;
  } else if (tableEndsFile && layout.certificateOffset >= layout.sectionsEnd &&
             layout.certificateSize <= kLongestTable) {
    std::string table;
    if (!ReadAt(program, layout.certificateOffset, table, std::size_t(layout.certificateSize))) return unreadable;
    const DerElement description = DescriptionInSignature(table);
    if (description.tag) {
      end = layout.certificateOffset + description.end;
      imageEnd = 0;
    }
  }

  const bool hasFooter = end >= kFooterSize && ReadAt(program, end - kFooterSize, footer, kFooterSize) &&
                         std::memcmp(footer.data() + 24, kMagic, sizeof kMagic) == 0;
  if (program.Failed()) return unreadable;
  if (!hasFooter) {
    // Bytes after the image without a footer are a manifest cut off in
    // transit; a file shorter than its image was cut in the image itself.
    result.state = imageEnd != 0 && fileSize != imageEnd ? ManifestState::kDamaged : ManifestState::kAbsent;
    return result;
  }
  result.state = ManifestState::kDamaged;
  result.footer = true;
  const std::uint32_t version = GetU32(footer, 20);
  if (version > kManifestVersion) return {ManifestState::kNewer, {}, version, true};
  const std::uint64_t imageLength = GetU64(footer, 0), manifestLength = GetU64(footer, 8);
  if (version == 0 || manifestLength > kLongestManifest || manifestLength > end - kFooterSize ||
      imageLength != end - kFooterSize - manifestLength || (imageEnd != 0 && imageLength != imageEnd))
    return result;
  std::string bytes;
  if (!ReadAt(program, imageLength, bytes, std::size_t(manifestLength)))
    return program.Failed() ? unreadable : result;
  if (Crc32c(0, bytes.data(), bytes.size()) != GetU32(footer, 16) || !Decode(bytes, version, result.manifest))
    return result;
  result.state = ManifestState::kValid;
  return result;
}

DerElement ReadDer(std::string_view der, std::size_t at, std::size_t limit) {
  DerElement element;
  if (at >= limit || limit - at < 2) return element;
  const std::size_t start = at;
  const std::uint8_t tag = std::uint8_t(der[at]);
  std::size_t length = std::uint8_t(der[at + 1]);
  at += 2;
  if (length & 0x80) {
    const std::size_t bytes = length & 0x7F;
    if (bytes == 0 || bytes > 4 || bytes > limit - at) return element;
    length = 0;
    for (std::size_t i = 0; i < bytes; ++i) length = length << 8 | std::uint8_t(der[at++]);
  }
  if (length > limit - at) return element;
  return DerElement{tag, start, at, at + length};
}

DerElement DerChild(std::string_view der, const DerElement& parent, int index) {
  DerElement child = ReadDer(der, parent.begin, parent.end);
  for (; index > 0 && child.tag; --index) child = ReadDer(der, child.end, parent.end);
  return child;
}

DerElement DescriptionInSignature(std::string_view table) {
  // WIN_CERTIFICATE: its length, revision 2.0, type 2 (a PKCS#7 SignedData).
  if (table.size() < 8 || GetU32(table, 4) != 0x00020200 || GetU32(table, 0) > table.size()) return DerElement{};
  const std::string_view der(table.data(), GetU32(table, 0));
  // ContentInfo { type, [0] { SignedData { version, digests, content, [0] certificates, ... } } }
  const DerElement set = DerChild(der, DerChild(der, DerChild(der, ReadDer(der, 8, der.size()), 1), 0), 3);
  if (set.tag != 0xA0) return DerElement{};
  // Certificate { TBSCertificate { ..., [3] { Extensions { Extension { id, value } ... } } }, ... }
  for (DerElement cert = ReadDer(der, set.begin, set.end); cert.tag; cert = ReadDer(der, cert.end, set.end)) {
    const DerElement tbs = DerChild(der, cert, 0);
    for (DerElement field = ReadDer(der, tbs.begin, tbs.end); field.tag; field = ReadDer(der, field.end, tbs.end)) {
      const DerElement list = DerChild(der, field, 0);
      for (DerElement ext = ReadDer(der, list.begin, list.end); field.tag == 0xA3 && ext.tag;
           ext = ReadDer(der, ext.end, list.end)) {
        const DerElement id = DerChild(der, ext, 0), value = DerChild(der, ext, 1);
        if (id.tag == 0x06 && value.tag == 0x04 && id.end - id.begin == kDescriptionExtension.size() &&
            std::memcmp(der.data() + id.begin, kDescriptionExtension.data(), kDescriptionExtension.size()) == 0)
          return value;
      }
    }
  }
  return DerElement{};
}

ExecutableLayout ReadExecutableLayout(std::string_view head) {
  ExecutableLayout layout;
  auto fits = [&](std::uint64_t at, std::uint64_t size) { return at + size <= head.size(); };
  if (!fits(0, 0x40) || head[0] != 'M' || head[1] != 'Z') return layout;
  const std::uint64_t pe = GetU32(head, 0x3C);
  if (!fits(pe, 24) || head.substr(std::size_t(pe), 4) != std::string_view("PE\0\0", 4)) return layout;
  const std::size_t coff = std::size_t(pe) + 4;
  const std::uint64_t sections = Get(head, coff + 2, 2), optionalSize = Get(head, coff + 16, 2);
  const std::size_t optional = coff + 20;
  // Every field read below lies within the optional header, which must lie
  // within what was read.
  if (optionalSize < 64 || !fits(optional, optionalSize)) return layout;
  const std::uint64_t magic = Get(head, optional, 2);
  if (magic != 0x10B && magic != 0x20B) return layout;
  const std::uint64_t table = optional + optionalSize;
  if (!fits(table, sections * 40)) return layout;
  std::uint64_t end = GetU32(head, optional + 60);  // SizeOfHeaders
  for (std::uint64_t s = 0; s < sections; ++s) {
    const std::size_t at = std::size_t(table + s * 40);
    const std::uint64_t size = GetU32(head, at + 16), offset = GetU32(head, at + 20);
    if (size > 0 && offset + size > end) end = offset + size;
  }
  layout.sectionsEnd = end;
  // The certificate table (data directory 4) is the one placed by file offset.
  const std::size_t countAt = optional + (magic == 0x20B ? 108 : 92);
  const std::size_t certificate = countAt + 4 + 4 * 8;
  if (certificate + 8 <= optional + optionalSize && GetU32(head, countAt) > 4) {
    layout.certificateOffset = GetU32(head, certificate);
    layout.certificateSize = GetU32(head, certificate + 4);
  }
  return layout;
}

std::uint64_t ExecutableImageEnd(std::string_view head) {
  const ExecutableLayout layout = ReadExecutableLayout(head);
  if (layout.sectionsEnd == 0) return 0;
  const std::uint64_t certificateEnd = layout.certificateSize > 0 ? layout.certificateOffset + layout.certificateSize : 0;
  return certificateEnd > layout.sectionsEnd ? certificateEnd : layout.sectionsEnd;
}

}  // namespace morsela
