#include "split/signed_program.h"

#include "format/little_endian.h"

namespace morsela {

namespace {

// A DER element of `tag` around `contents`, its length in the shortest form.
std::string Der(std::uint8_t tag, std::string_view contents) {
  std::string out(1, char(tag));
  const std::size_t length = contents.size();
  if (length < 0x80) {
    out.push_back(char(length));
  } else {
    int bytes = 0;
    for (std::size_t rest = length; rest; rest >>= 8) ++bytes;
    out.push_back(char(0x80 | bytes));
    for (int b = bytes - 1; b >= 0; --b) out.push_back(char((length >> (8 * b)) & 0xFF));
  }
  return out.append(contents);
}

// A certificate that nobody signed and nothing chains to, whose one
// extension holds the description. Its other fields are fixed, as any
// parser of X.509 certificates needs them: version 3, serial 1, issuer and
// subject "Morsela set description", valid 2020 to 2049, the public key
// the P-256 curve's base point, and an ECDSA signature (1, 1).
std::string DescriptionCertificate(std::string_view description) {
  const std::string algorithm = Der(0x30, Der(0x06, "\x2A\x86\x48\xCE\x3D\x04\x03\x02"));  // ecdsa-with-SHA256
  const std::string name =
      Der(0x30, Der(0x31, Der(0x30, Der(0x06, "\x55\x04\x03") + Der(0x0C, "Morsela set description"))));
  const std::string validity = Der(0x30, Der(0x17, "200101000000Z") + Der(0x17, "491231235959Z"));
  static const char kBasePoint[] =
      "\x00\x04"
      "\x6B\x17\xD1\xF2\xE1\x2C\x42\x47\xF8\xBC\xE6\xE5\x63\xA4\x40\xF2\x77\x03\x7D\x81\x2D\xEB\x33\xA0\xF4\xA1\x39\x45"
      "\xD8\x98\xC2\x96"
      "\x4F\xE3\x42\xE2\xFE\x1A\x7F\x9B\x8E\xE7\xEB\x4A\x7C\x0F\x9E\x16\x2B\xCE\x33\x57\x6B\x31\x5E\xCE\xCB\xB6\x40\x68"
      "\x37\xBF\x51\xF5";
  const std::string key =
      Der(0x30, Der(0x30, Der(0x06, "\x2A\x86\x48\xCE\x3D\x02\x01") + Der(0x06, "\x2A\x86\x48\xCE\x3D\x03\x01\x07")) +
                    Der(0x03, std::string_view(kBasePoint, sizeof kBasePoint - 1)));
  const std::string extensions =
      Der(0xA3, Der(0x30, Der(0x30, Der(0x06, kDescriptionExtension) + Der(0x04, description))));
  const std::string tbs = Der(0x30, Der(0xA0, Der(0x02, "\x02")) + Der(0x02, "\x01") + algorithm + name + validity +
                                        name + key + extensions);
  const std::string signature = Der(0x03, std::string(1, '\0') + Der(0x30, Der(0x02, "\x01") + Der(0x02, "\x01")));
  return Der(0x30, tbs + algorithm + signature);
}

// Where the optional header's checksum and data directory 4 lie in `file`;
// 0 when it holds no image with that directory.
struct HeaderFields {
  std::size_t checksum = 0, securityDirectory = 0;
};
HeaderFields FindHeaderFields(std::string_view file) {
  HeaderFields fields;
  if (file.size() < 0x40 || file.substr(0, 2) != "MZ") return fields;
  const std::uint64_t pe = GetLittleEndian(file, 0x3C, 4);
  if (pe > file.size() || file.size() - pe < 24 + 0x90 ||
      file.substr(std::size_t(pe), 4) != std::string_view("PE\0\0", 4))
    return fields;
  const std::size_t optional = std::size_t(pe) + 24;
  const std::uint64_t magic = GetLittleEndian(file, optional, 2);
  if (magic != 0x10B && magic != 0x20B) return fields;
  const std::size_t countAt = optional + (magic == 0x20B ? 108 : 92), directory = countAt + 4 + 4 * 8;
  if (directory + 8 > file.size() || GetLittleEndian(file, countAt, 4) <= 4 ||
      GetLittleEndian(file, std::size_t(pe) + 20, 2) < directory + 8 - optional)
    return fields;
  fields.checksum = optional + 64;
  fields.securityDirectory = directory;
  return fields;
}

void Put32(std::string& bytes, std::size_t at, std::uint64_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = char((value >> (8 * i)) & 0xFF);
}

}  // namespace

std::uint32_t ExecutableChecksum(std::string_view file) {
  const std::size_t field = FindHeaderFields(file).checksum;
  if (field == 0) return 0;
  std::uint64_t sum = 0;
  for (std::size_t at = 0; at < file.size(); at += 2) {
    if (at == field || at == field + 2) continue;
    std::uint64_t word = std::uint8_t(file[at]);
    if (at + 1 < file.size()) word |= std::uint64_t(std::uint8_t(file[at + 1])) << 8;
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return std::uint32_t(sum + file.size());
}

std::string ProgramWithSignedDescription(std::string_view image, const Manifest& manifest) {
  const HeaderFields fields = FindHeaderFields(image);
  const ExecutableLayout layout = ReadExecutableLayout(image.substr(0, kExecutableHeadSize));
  if (fields.checksum == 0 || layout.sectionsEnd == 0 || layout.certificateSize == 0 ||
      layout.certificateOffset < layout.sectionsEnd ||
      layout.certificateOffset + layout.certificateSize != image.size())
    return std::string();
  const std::size_t tableOffset = std::size_t(layout.certificateOffset);
  const std::string_view table = image.substr(tableOffset);
  if (table.size() < 8 || GetLittleEndian(table, 4, 4) != 0x00020200 || GetLittleEndian(table, 0, 4) > table.size())
    return std::string();
  // ContentInfo { type, [0] { SignedData { version, digests, content, [0] certificates, ... } } }
  const std::string_view der = table.substr(0, std::size_t(GetLittleEndian(table, 0, 4)));
  DerElement e[4];
  e[0] = ReadDer(der, 8, der.size());
  e[1] = DerChild(der, e[0], 1);
  e[2] = DerChild(der, e[1], 0);
  e[3] = DerChild(der, e[2], 3);
  if (e[0].tag != 0x30 || e[1].tag != 0xA0 || e[2].tag != 0x30 || e[3].tag != 0xA0 ||
      DescriptionInSignature(table).tag != 0)
    return std::string();

  // From the certificate set out, each element again around its contents
  // as they were and what was added, with its length in the shortest form.
  std::string inner = std::string(table.substr(e[3].begin, e[3].end - e[3].begin)) +
                      DescriptionCertificate(EncodeManifest(manifest, 0));
  for (int k = 3; k >= 0; --k) {
    inner = Der(e[k].tag, inner);
    if (k > 0) {
      inner = std::string(table.substr(e[k - 1].begin, e[k].start - e[k - 1].begin)) + inner +
              std::string(table.substr(e[k].end, e[k - 1].end - e[k].end));
    }
  }
  // One WIN_CERTIFICATE, its length padded to 8 bytes as the signer wrote
  // it or not, and nothing but zeros after its ContentInfo.
  const std::size_t oldLength = std::size_t(GetLittleEndian(table, 0, 4));
  if ((oldLength + 7) / 8 * 8 != table.size() ||
      table.substr(e[0].end).find_first_not_of('\0') != std::string_view::npos)
    return std::string();
  const std::size_t unpadded = 8 + inner.size(), padded = (unpadded + 7) / 8 * 8;
  std::string program(image.substr(0, std::size_t(layout.certificateOffset)));
  PutLittleEndian(program, oldLength == table.size() ? padded : unpadded, 4);
  program.append(table.substr(4, 4));  // revision and type
  program += inner;
  program.append(padded - unpadded, '\0');
  Put32(program, fields.securityDirectory + 4, padded);
  // The footer's first field: where the manifest begins in the file.
  const DerElement description = DescriptionInSignature(std::string_view(program).substr(tableOffset));
  if (description.tag == 0) return std::string();
  const std::size_t footer = tableOffset + description.end - kFooterSize;
  for (int i = 0; i < 8; ++i) program[footer + i] = char(((tableOffset + description.begin) >> (8 * i)) & 0xFF);
  Put32(program, fields.checksum, ExecutableChecksum(program));
  return program;
}

}  // namespace morsela
