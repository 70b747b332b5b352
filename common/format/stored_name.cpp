#include "format/stored_name.h"

#include <cstring>

#include "text/case_fold.h"
#include "text/text.h"
#include "text/utf8.h"

namespace morsela {

namespace {

// In UTF-16 units, as the system counts a name.
constexpr std::size_t kLongestName = 255;

bool IsForbiddenCharacter(unsigned char c) {
  return c < 0x20 || c == 0x7F || std::strchr("\\/:*?\"<>|", c) != nullptr;
}

// CON, PRN, AUX, NUL, CLOCK$, CONIN$, CONOUT$, COM0-9 and LPT0-9 name devices
// whatever extension follows them; so do COM and LPT with a superscript
// digit (¹, ² and ³, which the system takes for 1, 2 and 3).
bool IsDeviceName(const std::string& name) {
  std::string stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CLOCK$", "CONIN$", "CONOUT$"}) {
    if (EqualsNoCase(stem, device)) return true;
  }
  if (stem.size() < 4) return false;
  const std::string head = stem.substr(0, 3), digit = stem.substr(3);
  if (!EqualsNoCase(head, "COM") && !EqualsNoCase(head, "LPT")) return false;
  return (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') || digit == "\xC2\xB9" ||
         digit == "\xC2\xB2" || digit == "\xC2\xB3";
}

}  // namespace

bool IsAcceptableStoredName(const std::string& name, const std::vector<std::string>& taken) {
  if (name.empty() || Utf16Length(name) > kLongestName) return false;
  for (unsigned char c : name) {
    if (IsForbiddenCharacter(c)) return false;
  }
  if (name == "." || name == ".." || name.back() == '.' || name.back() == ' ') return false;
  if (IsDeviceName(name)) return false;
  for (const std::string& other : taken) {
    if (EqualsNoCase(name, other)) return false;
  }
  return true;
}

bool IsAcceptableBaseName(const std::string& base) {
  return base.empty() || (base.find('.') == std::string::npos && IsAcceptableStoredName(base + "#.0", {}));
}

}  // namespace morsela
