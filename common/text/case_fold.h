// Names compared as the Windows file system compares them: unit by unit in
// UTF-16, each unit taken to its upper case by the system's table, in every
// script. So "été" and "ÉTÉ" are one name, while "ß" and "ẞ", "k" and the
// Kelvin sign, "i" and "İ" are two.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace morsela {

// The unit the table takes `unit` to: itself when it has no upper case.
char16_t UpperCaseUnit(char16_t unit);

// True when the names `a` and `b` (UTF-8) name one file.
bool EqualsNoCase(std::string_view a, std::string_view b);

// What follows `prefix` in `name` when the name begins with it, compared
// that way; nothing when it does not.
std::optional<std::string> AfterPrefixNoCase(std::string_view name, std::string_view prefix);

// The seam below both: `length` units at `a` and at `b` compared that way.
// Windows compares them itself (its table is the file system's); elsewhere
// UpperCaseUnit's table stands in for it.
bool UnitsEqualNoCase(const char16_t* a, const char16_t* b, std::size_t length);

}  // namespace morsela
