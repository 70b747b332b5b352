#include "restore/output.h"

#include "text/text.h"

namespace morsela {

bool TemporaryOutput::Create(const std::string& folder) {
  Platform& system = System();
  for (unsigned k = 0; !file_ && k < 10000; ++k) {
    path_ = folder + "~morsela" + FormatDecimal(k) + ".tmp";
    file_ = system.CreateNew(path_);
    // A name that is free but cannot be created: the folder refuses.
    if (!file_ && system.Find(path_).empty()) break;
  }
  return file_ != nullptr;
}

bool TemporaryOutput::Finish(const std::string& markFrom, const std::string& target) {
  Platform& system = System();
  const bool stored = file_->Flush() && file_->Close();
  file_.reset();
  if (!stored) return false;
  // A set that came from the internet rebuilds a file the system warns
  // about just as it would have about the original download.
  system.CopyZoneMark(markFrom, path_);
  return system.Replace(path_, target);
}

bool TemporaryOutput::Discard() {
  file_.reset();
  return System().Remove(path_);
}

}  // namespace morsela
