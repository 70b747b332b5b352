// Splits one file as the splitter would, for the benchmarks and the
// end-to-end tests (the product itself has no command line):
//   split_driver PATH SIZE_KB [RESTORE_PROGRAM]
// The pieces get the restore program from the file given, else a stand-in.
// A message of the engine is printed and ends the run with exit code 1.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "driver_platform.h"
#include "pieces.h"
#include "split_engine.h"
#include "text.h"

namespace {

using namespace morsela;

bool ReadWhole(const std::string& path, std::string& bytes) {
  std::unique_ptr<InputFile> in = NativePlatform().OpenRead(path);
  if (!in) return false;
  char block[65536];
  while (std::size_t got = in->Read(block, sizeof block)) bytes.append(block, got);
  return !in->Failed();
}

}  // namespace

int Run(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: split_driver PATH SIZE_KB [RESTORE_PROGRAM]\n");
    return 2;
  }
  const std::string path = argv[1];
  const std::uint32_t sizeKb = ParseDecimal(argv[2]);
  std::string image = "MZ restore program stand-in";
  if (argc == 4 && (image.clear(), !ReadWhole(argv[3], image))) {
    std::fprintf(stderr, "split_driver: cannot read %s\n", argv[3]);
    return 2;
  }
  DriverPlatform platform(image, true);
  SetSystem(&platform);
  const std::vector<DirEntry> found = System().Find(path);
  const std::uint64_t length = found.empty() ? 0 : found[0].size;
  CSplitEngine().SplitFile(path, sizeKb, PieceCount(length, path, sizeKb));
  return 0;
}

#ifdef _WIN32
#include "platform_win.h"

// Windows hands the arguments over in UTF-16; the engine takes UTF-8.
int wmain(int argc, wchar_t** wargv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(morsela::Narrow(wargv[i], wcslen(wargv[i])));
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(&arg[0]);
  return Run(argc, argv.data());
}
#else
int main(int argc, char** argv) { return Run(argc, argv); }
#endif
