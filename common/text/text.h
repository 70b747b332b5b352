// Path and number text helpers. Paths are UTF-8 text; the backslash and the
// slash both count as separators.
#pragma once

#include <cstdint>
#include <string>

namespace morsela {

// The path up to and including its last separator; empty when it has none.
std::string DirectoryOf(const std::string& path);

// The text after the last separator (name and extension).
std::string FileNameOf(const std::string& path);

// The file name up to, not including, its first dot; empty when the file
// name holds no dot. Dots in directory names are never seen.
std::string BaseNameOf(const std::string& path);

// The value of a text of decimal digits. Empty text and any text holding a
// character other than a digit give 0, so callers treat it as no valid
// number; values beyond 32 bits saturate at 4,294,967,295.
std::uint32_t ParseDecimal(const std::string& text);

// Decimal digits, no sign, no padding; "0" for 0.
std::string FormatDecimal(std::uint64_t value);

// "1 piece", "3 pieces": `n` and the noun that goes with it.
std::string CountOf(std::uint64_t n, const char* one, const char* many);

}  // namespace morsela
