// Wildcard matching as the Windows directory search does it for '*' and '?'.
#pragma once

#include <string>

namespace morsela {

// True when `name` matches `pattern` ('*' any run, '?' any one UTF-16
// unit), without regard to case, as the file system compares names.
bool WildcardMatch(const std::string& pattern, const std::string& name);

bool HasWildcard(const std::string& text);

}  // namespace morsela
