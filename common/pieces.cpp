#include "pieces.h"

#include "text.h"

namespace morsela {

const char kPieceMarker[] = "#.";

std::string PieceFileName(const std::string& baseName, std::uint64_t k) {
  return baseName + kPieceMarker + FormatDecimal(k);
}

std::string PieceName(const std::string& path, std::uint64_t k) {
  return DirectoryOf(path) + PieceFileName(BaseNameOf(path), k);
}

std::string RestoreProgramName(const std::string& path) {
  std::string name = DirectoryOf(path) + BaseNameOf(path) + ".exe";
  if (EqualsNoCase(name, path)) name = DirectoryOf(path) + BaseNameOf(path) + ".unsplit.exe";
  return name;
}

std::uint64_t PieceCount(std::uint64_t length, const std::string& path, std::uint32_t sizeKb) {
  if (length < kMinimumSource || sizeKb == 0) return 0;
  const std::uint64_t z = std::uint64_t(sizeKb) * kBytesPerKb;  // below 2^42
  const std::uint64_t total = FileNameOf(path).size() + 1 + length;
  return total / z + (total % z != 0 ? 1 : 0);
}

}  // namespace morsela
