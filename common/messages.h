// Message texts that both executables show, and the second line that names
// the files a message is about.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morsela {

extern const char kCannotReadFile[];
extern const char kCannotWriteFile[];

// The fixed text, then on a second line `detail` (nothing when empty).
std::string WithDetail(const char* text, const std::string& detail);

// Up to a few of `names`, then how many more: "a#.3, a#.7 and 12 more".
// `total` counts all the names concerned, of which `names` may hold only
// the first few.
std::string NameList(const std::vector<std::string>& names, std::uint64_t total);

// How many names NameList shows; callers need keep no more.
constexpr std::size_t kNamesShown = 5;

}  // namespace morsela
