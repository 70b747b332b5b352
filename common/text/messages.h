// Message texts that both executables show, and the second line that names
// the files a message is about.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morsela {

extern const char kCannotReadFile[];
extern const char kCannotWriteFile[];
// The restore's refusals.
extern const char kNoSplitFileFound[];
extern const char kFileNotFound[];
extern const char kInvalidFileName[];
extern const char kSplitFileDamaged[];
// The split's refusals.
extern const char kPathnameIncorrect[];
extern const char kFileTooSmall[];
extern const char kTooManyPieces[];
// The window's own.
extern const char kNoFileSelected[];
extern const char kSizeNoValid[];

// Lines of outcome of a split that wrote nothing, or removed what it wrote.
extern const char kSplitStopped[];
extern const char kSplitFailed[];
extern const char kSplitDeclined[];

// The fixed text, then on a second line `detail` (nothing when empty).
std::string WithDetail(const char* text, const std::string& detail);

// Up to a few of `names`, then how many more: "a#.3, a#.7 and 12 more".
// `total` counts all the names concerned, of which `names` may hold only
// the first few.
std::string NameList(const std::vector<std::string>& names, std::uint64_t total);

// How many names NameList shows; callers need keep no more.
constexpr std::size_t kNamesShown = 5;

// The names a message is about: the first few, and how many there are.
class NameTally {
 public:
  void Add(const std::string& name) {
    if (names_.size() < kNamesShown) names_.push_back(name);
    ++count_;
  }
  bool empty() const { return count_ == 0; }
  std::uint64_t count() const { return count_; }
  std::string Text() const { return NameList(names_, count_); }

 private:
  std::vector<std::string> names_;
  std::uint64_t count_ = 0;
};

}  // namespace morsela
