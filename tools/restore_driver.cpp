// Runs the restore logic natively, as the restore program does on Windows,
// for the benchmarks: restore_driver [--no-flush] PATH_OF_RESTORE_PROGRAM
// A message is printed; the exit code is the restore program's. --no-flush
// skips putting the output on the disk, to show what that costs.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "driver_platform.h"
#include "restore_program.h"

int main(int argc, char** argv) {
  const bool noFlush = argc == 3 && std::string(argv[1]) == "--no-flush";
  if (noFlush) --argc, ++argv;
  if (argc != 2) {
    std::fprintf(stderr, "usage: restore_driver [--no-flush] PATH_OF_RESTORE_PROGRAM\n");
    return 2;
  }
  char absolute[PATH_MAX];
  morsela::RestoreStart start;
  start.invocation = argv[1];
  start.absoluteInvocation = realpath(argv[1], absolute) ? absolute : "";
  start.modulePath = start.absoluteInvocation;
  morsela::DriverPlatform platform("", false);
  platform.skipFlush = noFlush;
  morsela::SetSystem(&platform);
  morsela::SetUser(&platform);
  return morsela::RestoreSplitFile(start);
}
