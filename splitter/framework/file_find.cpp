#include "platform/platform.h"
#include "platform/user.h"
#include "wrappers.h"

namespace morsela::ui {

// The search is answered whole by the platform, so nothing stays open
// between FindFile and the handler's end.
bool FileFind::FindFile(const std::string& path) {
  found_ = stepped_ = directory_ = false;
  length_ = 0;
  if (path.empty()) return false;
  const std::vector<DirEntry> entries = System().Find(path);
  if (entries.empty()) return false;
  found_ = true;
  length_ = entries.front().size;
  directory_ = entries.front().isDirectory;
  return true;
}

bool FileFind::FindNext() {
  // One exact path has one entry: the first step reaches it, there is no next.
  if (!found_ || stepped_) return false;
  stepped_ = true;
  return true;
}

std::uint64_t FileFind::GetLength() const { return stepped_ ? length_ : 0; }

bool FileFind::IsDirectory() const { return stepped_ && directory_; }

void ShowMessageBox(const std::string& text) { TheUser().ShowMessage(text); }
bool AskYesNo(const std::string& text) { return TheUser().Ask(text); }

}  // namespace morsela::ui
