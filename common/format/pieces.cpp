#include "format/pieces.h"

#include <limits>

#include "text/case_fold.h"
#include "text/text.h"

namespace morsela {

const char kPieceMarker[] = "#.";

std::string PieceFileName(const std::string& baseName, std::uint64_t k) {
  return baseName + kPieceMarker + FormatDecimal(k);
}

std::string PieceName(const std::string& path, std::uint64_t k) {
  return DirectoryOf(path) + PieceFileName(BaseNameOf(path), k);
}

std::optional<std::uint64_t> PieceNumber(const std::string& name, const std::string& baseName) {
  const std::optional<std::string> digits = AfterPrefixNoCase(name, baseName + kPieceMarker);
  if (!digits || digits->empty()) return std::nullopt;
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t value = 0;
  for (const char c : *digits) {
    if (c < '0' || c > '9') return std::nullopt;
    const std::uint64_t digit = std::uint64_t(c - '0');
    value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
  }
  return value;
}

std::optional<std::uint64_t> WrittenPieceNumber(const std::string& name, const std::string& baseName) {
  const std::optional<std::uint64_t> number = PieceNumber(name, baseName);
  const std::string digits = FormatDecimal(number.value_or(0));
  if (!number || name.size() < digits.size() || name.compare(name.size() - digits.size(), digits.size(), digits) != 0 ||
      (name.size() > digits.size() && name[name.size() - digits.size() - 1] == '0'))
    return std::nullopt;
  return number;
}

std::string RestoreProgramName(const std::string& path) {
  std::string name = DirectoryOf(path) + BaseNameOf(path) + ".exe";
  if (EqualsNoCase(name, path)) name = DirectoryOf(path) + BaseNameOf(path) + ".unsplit.exe";
  return name;
}

std::string RestorePageName(const std::string& path) {
  std::string name = DirectoryOf(path) + BaseNameOf(path) + ".restore.html";
  if (EqualsNoCase(name, path)) name = DirectoryOf(path) + BaseNameOf(path) + ".unsplit.restore.html";
  return name;
}

std::uint64_t PieceCount(std::uint64_t length, const std::string& path, std::uint32_t sizeKb) {
  if (length < kMinimumSource || sizeKb == 0) return 0;
  const std::uint64_t z = std::uint64_t(sizeKb) * kBytesPerKb;  // below 2^42
  const std::uint64_t total = FileNameOf(path).size() + 1 + length;
  return total / z + (total % z != 0 ? 1 : 0);
}

}  // namespace morsela
