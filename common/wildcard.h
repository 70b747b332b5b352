// Wildcard matching as the Windows directory search does it for '*' and '?'.
#pragma once

#include <string>

namespace morsela {

// True when `name` matches `pattern` ('*' any run, '?' any one character),
// without regard to the case of ASCII letters.
bool WildcardMatch(const std::string& pattern, const std::string& name);

bool HasWildcard(const std::string& text);

}  // namespace morsela
