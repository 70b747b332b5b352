// Text inside both programs is UTF-8; the system speaks UTF-16. These are
// the one place where the two meet. A Windows name may hold a lone
// surrogate, which no UTF-8 can carry: it travels as the three bytes that
// would encode it (the generalised UTF-8 known as WTF-8), so every name the
// system gives comes back to it unchanged. Bytes that are no UTF-8 at all
// (they never come from the system) become U+FFFD, one for each bad byte,
// and are never dropped.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace morsela {

// Decodes the sequence at `p` (before `end`) into `c` and returns its
// length in bytes: WTF-8, with U+FFFD for a byte that begins no sequence.
std::size_t DecodeUtf8(const char* p, const char* end, char32_t& c);

// Hands `sink` the UTF-16 units of `utf8`, one at a time; the caller keeps
// them in whatever string its system wants.
template <typename Sink>
void ForEachUtf16Unit(std::string_view utf8, Sink sink) {
  for (const char *p = utf8.data(), *end = p + utf8.size(); p < end;) {
    char32_t c;
    p += DecodeUtf8(p, end, c);
    if (c < 0x10000) {
      sink(char16_t(c));
    } else {
      sink(char16_t(0xD800 + ((c - 0x10000) >> 10)));
      sink(char16_t(0xDC00 + ((c - 0x10000) & 0x3FF)));
    }
  }
}

inline std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  ForEachUtf16Unit(utf8, [&](char16_t unit) { out += unit; });
  return out;
}

std::string Utf16ToUtf8(const char16_t* units, std::size_t length);

// Bytes in Windows-1252 (the western code page, and what a reader takes
// where it cannot ask the system for the user's), in UTF-8.
std::string Windows1252ToUtf8(const std::string& bytes);

// True when `bytes` is strict UTF-8 (no surrogates, no overlong forms).
bool IsValidUtf8(std::string_view bytes);

// How many UTF-16 units `utf8` takes at the system, which counts a name's
// length in them.
std::size_t Utf16Length(std::string_view utf8);

}  // namespace morsela
