#include "text/text.h"

#include <algorithm>

namespace morsela {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Index of the rightmost separator, or npos.
std::size_t LastSeparator(const std::string& path) {
  for (std::size_t i = path.size(); i > 0; --i) {
    if (IsSeparator(path[i - 1])) return i - 1;
  }
  return std::string::npos;
}

}  // namespace

std::string DirectoryOf(const std::string& path) {
  std::size_t s = LastSeparator(path);
  return s == std::string::npos ? std::string() : path.substr(0, s + 1);
}

std::string FileNameOf(const std::string& path) {
  std::size_t s = LastSeparator(path);
  return s == std::string::npos ? path : path.substr(s + 1);
}

std::string BaseNameOf(const std::string& path) {
  std::string name = FileNameOf(path);
  std::size_t dot = name.find('.');
  return dot == std::string::npos ? std::string() : name.substr(0, dot);
}

std::uint32_t ParseDecimal(const std::string& text) {
  const std::uint64_t kMax = 0xFFFFFFFFu;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    value = std::min<std::uint64_t>(value * 10 + std::uint64_t(c - '0'), kMax + 1);
  }
  return std::uint32_t(std::min(value, kMax));
}

std::string FormatDecimal(std::uint64_t value) {
  char digits[20];
  std::size_t n = 0;
  do {
    digits[n++] = char('0' + value % 10);
    value /= 10;
  } while (value != 0);
  std::reverse(digits, digits + n);
  return std::string(digits, n);
}

std::string CountOf(std::uint64_t n, const char* one, const char* many) {
  return FormatDecimal(n) + " " + (n == 1 ? one : many);
}

}  // namespace morsela
