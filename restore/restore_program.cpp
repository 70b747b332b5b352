#include "restore_program.h"

#include <algorithm>
#include <optional>

#include "platform/platform.h"
#include "platform/user.h"
#include "text/text.h"

namespace morsela {

namespace {

struct Self {
  std::string name;    // the program's file name as the directory stores it
  std::string prefix;  // its directory, with a trailing '/' and '/' throughout
};

// The directory prefix of `absolutePath`: the part before its last separator,
// then "/", every backslash turned into a slash.
std::string PrefixOf(const std::string& absolutePath) {
  std::string dir = DirectoryOf(absolutePath);
  if (!dir.empty()) dir.pop_back();
  dir += '/';
  std::replace(dir.begin(), dir.end(), '\\', '/');
  return dir;
}

std::optional<Self> FindSelf(Platform& system, const std::string& path, const std::string& absolute) {
  if (path.empty() || absolute.empty()) return std::nullopt;
  for (const DirEntry& entry : system.Find(path)) {
    if (!entry.isDirectory) return Self{entry.name, PrefixOf(absolute)};
  }
  return std::nullopt;
}

}  // namespace

int RestoreSplitFile(const RestoreStart& start, Progress* progress, std::uint64_t* rebuilt) {
  std::optional<Self> self = FindSelf(System(), start.invocation, start.absoluteInvocation);
  if (!self) self = FindSelf(System(), start.modulePath, start.modulePath);
  if (!self) {
    TheUser().ShowMessage(kNoSplitFileFound);
    return kExitRefused;
  }
  // The manifest is at the end of the program's own file.
  SetSource source;
  source.folder = self->prefix;
  source.program = start.modulePath.empty() ? self->prefix + self->name : start.modulePath;
  source.programName = self->name;
  source.baseName = BaseNameOf(self->name);
  RestoreOptions options;
  options.progress = progress;
  const RestoreResult result = Restore(source, options);
  for (const std::string& message : result.messages) TheUser().ShowMessage(message);
  if (rebuilt) *rebuilt = result.rebuilt;
  return result.code;
}

}  // namespace morsela
