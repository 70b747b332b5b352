// The manifest of a piece set: what the split wrote, appended to the restore
// program's image together with a fixed-size footer at the very end of the
// file. The system's loader ignores data after the image, so the program
// runs unchanged; the restore program reads its own file's end to find it.
// docs/format.md gives the layout byte by byte.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace morsela {

// The newest format this build reads. It writes version 1 for a set
// without recovery pieces (as earlier versions did) and version 3, which
// adds a CRC of every stripe, for one with them; earlier versions wrote
// version 2 for those.
constexpr std::uint32_t kManifestVersion = 3;
constexpr std::size_t kFooterSize = 32;
// The fixed part of the manifest before the two names, in versions 1 and 2.
constexpr std::size_t kManifestFixedSize = 40;
constexpr std::size_t kManifestFixedSize2 = 48;
constexpr std::size_t kManifestFixedSize3 = 56;
// The largest stripe a manifest may give.
constexpr std::uint64_t kLargestStripe = std::uint64_t(1) << 20;

struct Manifest {
  std::string baseName;    // the pieces are baseName + "#." + number
  std::string storedName;  // the name in the head piece's header
  std::uint64_t sourceLength = 0;
  std::uint64_t pieceSize = 0;
  std::uint64_t pieceCount = 0;
  std::vector<std::uint32_t> pieceCrcs;  // CRC-32C of each piece's bytes as written
  std::uint64_t recoveryCount = 0;
  std::vector<std::uint32_t> recoveryCrcs;  // CRC-32C of each recovery piece's data
  // Version 3: the bytes of a stripe (0 before), and the CRC-32C of each
  // stripe: Rows() of every piece, then of every recovery piece.
  std::uint64_t stripeSize = 0;
  std::vector<std::uint32_t> stripeCrcs;

  // The size that piece k must have: the piece size, or what is left of the
  // header and the source for the last one.
  std::uint64_t PieceLength(std::uint64_t k) const;
  // The bytes of recovery data in each recovery piece: the piece size,
  // made even (the code takes pieces as 16-bit words).
  std::uint64_t RecoveryDataSize() const { return pieceSize + (pieceSize & 1); }
  // The version that carries it: 3 with recovery pieces and stripes, 2
  // with recovery pieces alone, 1 without.
  std::uint32_t Version() const { return recoveryCount ? (stripeSize ? 3 : 2) : 1; }

  // Rows of stripes: stripe w of a piece (or of a recovery piece's data)
  // is its bytes from w x StripeSize() up to the next row or its end, so
  // that word j of a recovery piece's stripe w depends only on word j of
  // every piece's stripe w. A set without stripes is one row, its stripes
  // the whole pieces.
  std::uint64_t StripeSize() const { return stripeSize ? stripeSize : RecoveryDataSize(); }
  std::uint64_t Rows() const { return (RecoveryDataSize() + StripeSize() - 1) / StripeSize(); }
  // The CRC of stripe `row` of piece `index`, or of recovery piece
  // index - C from C on: the whole piece's where the set has no stripes.
  std::uint32_t StripeCrc(std::uint64_t index, std::uint64_t row) const;
  // The bytes of that stripe (0 for a stripe past a short piece's end).
  std::uint64_t StripeLength(std::uint64_t index, std::uint64_t row) const;
};

// The manifest's own bytes, as they follow a program image or open a
// recovery piece.
std::string EncodeManifestBody(const Manifest& manifest);
// Their length, from the fields alone.
std::uint64_t ManifestBodyLength(const Manifest& manifest);
// Reads them back, checking every field and bound; false when they are no
// manifest of `version`.
bool DecodeManifestBody(std::string_view bytes, std::uint32_t version, Manifest& manifest);

// The manifest and its footer, as they follow the image. `imageLength` is
// the length of the program image they are appended to.
std::string EncodeManifest(const Manifest& manifest, std::uint64_t imageLength);
// The same bytes written to `out` a few KiB at a time, so that a set of many
// pieces needs no second copy of its CRCs; false when a write failed.
bool WriteManifest(const Manifest& manifest, std::uint64_t imageLength, OutputFile& out);

enum class ManifestState {
  kAbsent,   // the file ends with the program image: a bare image, or an older version's
  kValid,
  kDamaged,  // data after the image that is no intact manifest of this program's
  kNewer,    // an intact footer of a format this program does not know
  kUnreadable,  // the system could not read the file
};

struct ManifestRead {
  ManifestState state = ManifestState::kAbsent;
  Manifest manifest;            // kValid only
  std::uint32_t version = 0;    // kNewer: the version found
  // The file ends in a footer of this program's: it says of itself that it
  // is a restore program with a description, whether or not that holds.
  bool footer = false;
};

// Reads the manifest at the end of `program` (the restore program's own
// file), just before the certificate table that a signer appended after
// it, or inside the image's own signature (DescriptionInSignature). Every
// length read is checked against the file's size before anything is
// allocated.
ManifestRead ReadManifest(InputFile& program);

// Where a Windows executable image lies in its file, from `head`, the
// file's first bytes: the end of its headers and sections (0 when `head`
// holds no such image), and its certificate table, which the system places
// by file offset (size 0 when it has none).
struct ExecutableLayout {
  std::uint64_t sectionsEnd = 0;
  std::uint64_t certificateOffset = 0;
  std::uint64_t certificateSize = 0;
};
ExecutableLayout ReadExecutableLayout(std::string_view head);

// Where the image ends: the end of its last section or of its certificate
// table, whichever is later; 0 when `head` holds no image.
std::uint64_t ExecutableImageEnd(std::string_view head);

// The bytes of the file a program image's header spans, enough for
// ExecutableImageEnd.
constexpr std::size_t kExecutableHeadSize = 4096;

// A signed restore program carries its set's description inside its
// signature, where the signature covers nothing and Windows' strictest
// check still accepts it: as the value of an extension of an extra
// certificate in the signature's certificate set. docs/format.md gives the
// layout.

// The extension's identifier (the contents of its DER OID): 2.25 and a UUID
// of ours, so it is no one else's.
constexpr std::string_view kDescriptionExtension{
    "\x69\x81\xD6\xEB\xAA\x9E\x9B\xFD\xAA\x99\xAD\x85\x86\xC1\x9D\xA3\xBC\x92\xFB\x5F", 20};

// One DER element of `der` at `at` that lies whole before `limit` (at most
// der.size()): its tag
// (0 when there is no such element: a length of indefinite form or of more
// than 4 bytes, or one that runs past `limit`), where its header starts, and
// where its contents begin and end.
struct DerElement {
  std::uint8_t tag = 0;
  std::size_t start = 0, begin = 0, end = 0;
};
DerElement ReadDer(std::string_view der, std::size_t at, std::size_t limit);

// The element `index` (from 0) among the contents of `parent`.
DerElement DerChild(std::string_view der, const DerElement& parent, int index);

// The description that a certificate table carries: the value (an OCTET
// STRING's contents, offsets within `table`) of extension
// kDescriptionExtension of the first certificate in the signature's set
// that has it; tag 0 when there is none, or when `table` begins with no
// WIN_CERTIFICATE of a PKCS#7 SignedData.
DerElement DescriptionInSignature(std::string_view table);

}  // namespace morsela
