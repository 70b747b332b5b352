#include "text/messages.h"

#include "text/text.h"

namespace morsela {

const char kCannotReadFile[] = "Cannot Read File !";
const char kCannotWriteFile[] = "Cannot Write File !";
const char kNoSplitFileFound[] = "No Split File Found !";
const char kFileNotFound[] = "File Not Found !";
const char kInvalidFileName[] = "Invalid File Name !";
const char kSplitFileDamaged[] = "Split File Damaged !";
const char kPathnameIncorrect[] = "Pathname incorrect";
const char kFileTooSmall[] = "File Too Small";
const char kTooManyPieces[] = "Too Many Pieces !";
const char kNoFileSelected[] = "No File Selected !";
const char kSizeNoValid[] = "Size No Valid !";
const char kSplitStopped[] = "Split stopped: its files were removed.";
const char kSplitFailed[] = "Split failed: nothing was written.";
const char kSplitDeclined[] = "Split cancelled: nothing was written or removed.";

std::string WithDetail(const char* text, const std::string& detail) {
  return detail.empty() ? std::string(text) : std::string(text) + "\n" + detail;
}

std::string NameList(const std::vector<std::string>& names, std::uint64_t total) {
  std::string list;
  std::uint64_t shown = 0;
  for (const std::string& name : names) {
    if (shown == kNamesShown) break;
    if (shown > 0) list += ", ";
    list += name;
    ++shown;
  }
  if (total > shown) list += " and " + FormatDecimal(total - shown) + " more";
  return list;
}

}  // namespace morsela
