#include "text/utf8.h"

namespace morsela {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one sequence at `p` (before `end`); `length` learns its bytes.
// Surrogates are taken when `surrogates` allows them (WTF-8); anything
// else that is not UTF-8 gives nothing and a length of 1.
bool Decode(const unsigned char* p, const unsigned char* end, bool surrogates, char32_t& c,
            std::size_t& length) {
  length = 1;
  const unsigned char b = p[0];
  if (b < 0x80) {
    c = b;
    return true;
  }
  std::size_t n;
  char32_t min;
  if ((b & 0xE0) == 0xC0) n = 2, min = 0x80, c = b & 0x1F;
  else if ((b & 0xF0) == 0xE0) n = 3, min = 0x800, c = b & 0x0F;
  else if ((b & 0xF8) == 0xF0) n = 4, min = 0x10000, c = b & 0x07;
  else return false;
  if (std::size_t(end - p) < n) return false;
  for (std::size_t i = 1; i < n; ++i) {
    if ((p[i] & 0xC0) != 0x80) return false;
    c = (c << 6) | (p[i] & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (!surrogates && c >= 0xD800 && c <= 0xDFFF)) return false;
  length = n;
  return true;
}

void Append(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += char(c);
  } else if (c < 0x800) {
    out += char(0xC0 | (c >> 6));
    out += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += char(0xE0 | (c >> 12));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  } else {
    out += char(0xF0 | (c >> 18));
    out += char(0x80 | ((c >> 12) & 0x3F));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::size_t DecodeUtf8(const char* p, const char* end, char32_t& c) {
  std::size_t length;
  const auto* q = reinterpret_cast<const unsigned char*>(p);
  if (!Decode(q, reinterpret_cast<const unsigned char*>(end), true, c, length)) c = kReplacement;
  return length;
}

std::string Utf16ToUtf8(const char16_t* utf16, std::size_t length) {
  std::string out;
  out.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    char32_t c = utf16[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    }
    Append(out, c);  // a lone surrogate keeps its own three bytes
  }
  return out;
}

bool IsValidUtf8(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* end = p + bytes.size();
  while (p < end) {
    char32_t c;
    std::size_t length;
    if (!Decode(p, end, false, c, length)) return false;
    p += length;
  }
  return true;
}

std::size_t Utf16Length(std::string_view utf8) {
  std::size_t units = 0;
  ForEachUtf16Unit(utf8, [&](char16_t) { ++units; });
  return units;
}

std::string Windows1252ToUtf8(const std::string& bytes) {
  static const char16_t kHigh[32] = {
      0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
  std::u16string wide;
  for (unsigned char c : bytes) wide += c >= 0x80 && c < 0xA0 ? kHigh[c - 0x80] : char16_t(c);
  return Utf16ToUtf8(wide.data(), wide.size());
}

}  // namespace morsela
