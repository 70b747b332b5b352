#include "text/wildcard.h"

#include "text/case_fold.h"
#include "text/utf8.h"

namespace morsela {

bool WildcardMatch(const std::string& utf8Pattern, const std::string& utf8Name) {
  // In UTF-16 units, as the system matches names and compares their case.
  const std::u16string pattern = Utf8ToUtf16(utf8Pattern), name = Utf8ToUtf16(utf8Name);
  // Greedy match with one back-tracking point: the last '*' seen.
  std::size_t p = 0, n = 0, star = std::u16string::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || UpperCaseUnit(pattern[p]) == UpperCaseUnit(name[n]))) {
      ++p;
      ++n;
    } else if (star != std::u16string::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool HasWildcard(const std::string& text) { return text.find_first_of("*?") != std::string::npos; }

}  // namespace morsela
