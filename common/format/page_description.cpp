#include "format/page_description.h"

#include <cstdint>

namespace morsela {

const char kPageSetOpen[] = "<script type=\"application/x-morsela-set\" id=\"morsela-set\">";
const char kPageSetClose[] = "</script>";
const char kPageSetPlaceholder[] = "MORSELA-SET";

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Where the description's text lies in `page`: its offset and length.
std::optional<std::pair<std::size_t, std::size_t>> DescriptionAt(std::string_view page) {
  const std::size_t open = page.find(kPageSetOpen);
  if (open == std::string_view::npos) return std::nullopt;
  const std::size_t from = open + std::string_view(kPageSetOpen).size();
  const std::size_t close = page.find(kPageSetClose, from);
  if (close == std::string_view::npos) return std::nullopt;
  return std::make_pair(from, close - from);
}

}  // namespace

std::string FillPage(std::string_view pageTemplate, const Manifest& manifest) {
  const auto at = DescriptionAt(pageTemplate);
  if (!at) return std::string();
  std::string page(pageTemplate.substr(0, at->first));
  page += Base64Encode(EncodeManifestBody(manifest));
  page += pageTemplate.substr(at->first + at->second);
  return page;
}

std::optional<std::string> PageDescription(std::string_view page) {
  const auto at = DescriptionAt(page);
  if (!at) return std::nullopt;
  const std::string_view text = page.substr(at->first, at->second);
  if (text == kPageSetPlaceholder) return std::nullopt;
  std::optional<std::string> bytes = Base64Decode(text);
  if (!bytes || bytes->empty()) return std::nullopt;
  return bytes;
}

std::string Base64Encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
    std::uint32_t v = std::uint32_t(std::uint8_t(bytes[i])) << 16;
    if (n > 1) v |= std::uint32_t(std::uint8_t(bytes[i + 1])) << 8;
    if (n > 2) v |= std::uint8_t(bytes[i + 2]);
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += n > 1 ? kAlphabet[(v >> 6) & 63] : '=';
    out += n > 2 ? kAlphabet[v & 63] : '=';
  }
  return out;
}

std::optional<std::string> Base64Decode(std::string_view text) {
  std::string out;
  std::uint32_t bits = 0;
  int count = 0, padding = 0;
  for (char c : text) {
    if (c == ' ' || c == '\n' || c == '\r' || c == '\t') continue;
    if (c == '=') {
      ++padding;
      continue;
    }
    if (padding) return std::nullopt;  // data after the padding
    std::uint32_t value;
    if (c >= 'A' && c <= 'Z') value = std::uint32_t(c - 'A');
    else if (c >= 'a' && c <= 'z') value = std::uint32_t(c - 'a' + 26);
    else if (c >= '0' && c <= '9') value = std::uint32_t(c - '0' + 52);
    else if (c == '+') value = 62;
    else if (c == '/') value = 63;
    else return std::nullopt;
    bits = bits << 6 | value;
    if (++count == 4) {
      out += char(bits >> 16);
      out += char(bits >> 8);
      out += char(bits);
      bits = 0;
      count = 0;
    }
  }
  if (count == 1 || padding > 2 || (padding && (count + padding) % 4)) return std::nullopt;
  if (count == 2) out += char(bits >> 4);
  if (count == 3) {
    out += char(bits >> 10);
    out += char(bits >> 2);
  }
  return out;
}

}  // namespace morsela
