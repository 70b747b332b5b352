// Little-endian integers, as every field of the set's files is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace morsela {

inline void PutLittleEndian(std::string& out, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i) out.push_back(char((value >> (8 * i)) & 0xFF));
}

// The `width` bytes at `at`, which the caller has checked lie within.
inline std::uint64_t GetLittleEndian(std::string_view bytes, std::size_t at, int width) {
  std::uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

}  // namespace morsela
