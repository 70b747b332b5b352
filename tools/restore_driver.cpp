// Runs the restore logic natively, as the restore program does on Windows,
// for the benchmarks: restore_driver PATH_OF_RESTORE_PROGRAM
// A message is printed; the exit code is the restore program's.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform.h"
#include "restore_job.h"

namespace {

class PrintingPlatform : public morsela::Platform {
 public:
  std::vector<morsela::DirEntry> Find(const std::string& p) override { return real_.Find(p); }
  std::unique_ptr<morsela::InputFile> OpenRead(const std::string& p) override { return real_.OpenRead(p); }
  std::unique_ptr<morsela::OutputFile> Create(const std::string& p) override { return real_.Create(p); }
  bool Remove(const std::string& p) override { return real_.Remove(p); }
  bool Replace(const std::string& a, const std::string& b) override { return real_.Replace(a, b); }
  void ShowMessage(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
  std::string_view RestoreImage() override { return {}; }

 private:
  morsela::Platform& real_ = morsela::NativePlatform();
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: restore_driver PATH_OF_RESTORE_PROGRAM\n");
    return 2;
  }
  char absolute[PATH_MAX];
  morsela::RestoreStart start;
  start.invocation = argv[1];
  start.absoluteInvocation = realpath(argv[1], absolute) ? absolute : "";
  start.modulePath = start.absoluteInvocation;
  PrintingPlatform platform;
  morsela::SetSystem(&platform);
  return morsela::RestoreSplitFile(start);
}
