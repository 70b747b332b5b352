// Splits one file as the splitter would, for the benchmarks and the
// end-to-end tests (the product itself has no command line):
//   split_driver [--time] [--serial] [--write-delay MS] [--recovery R] [--page TEMPLATE] PATH SIZE_KB
//                [RESTORE_PROGRAM]
// The pieces get the restore program from the file given, else a stand-in,
// and the restore page from the template given (restore.html), else a
// stand-in.
// A message of the engine is printed and ends the run with exit code 1.
// --time prints the seconds the split took (the engine's call alone, as
// the splitter's window makes it), then those spent in writes, in creating
// files and in closing them; --serial
// gives the engine no thread, so that it reads and writes in turn;
// --write-delay adds MS milliseconds to every write (a slow destination);
// --recovery writes R recovery pieces beside the set.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "driver_platform.h"
#include "format/pieces.h"
#include "split/split_run.h"
#include "text/text.h"

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
  bool time = false, serial = false, known = true;
  long delay = 0;
  std::uint64_t recovery = 0;
  std::string pageTemplate;
  int first = 1;
  for (; known && first < argc && std::string(argv[first]).rfind("--", 0) == 0; ++first) {
    const std::string option = argv[first];
    if (option == "--time") time = true;
    else if (option == "--serial") serial = true;
    else if (option == "--write-delay" && first + 1 < argc) delay = std::atol(argv[++first]);
    else if (option == "--recovery" && first + 1 < argc) recovery = ParseDecimal(argv[++first]);
    else if (option == "--page" && first + 1 < argc) pageTemplate = argv[++first];
    else known = false;
  }
  argc -= first - 1;
  argv += first - 1;
  if (!known || (argc != 3 && argc != 4)) {
    std::fprintf(stderr, "usage: split_driver [--time] [--serial] [--write-delay MS] [--recovery R] [--page TEMPLATE] PATH SIZE_KB "
                 "[RESTORE_PROGRAM]\n");
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
  if (!pageTemplate.empty() && (platform.pageTemplate.clear(), !ReadWhole(pageTemplate, platform.pageTemplate))) {
    std::fprintf(stderr, "split_driver: cannot read %s\n", pageTemplate.c_str());
    return 2;
  }
  platform.serial = serial;
  platform.writeDelay = std::chrono::milliseconds(delay);
  SetSystem(&platform);
  SetUser(&platform);
  const auto start = DriverPlatform::Clock::now();
  // The driver replaces what is in the way without asking.
  SplitPlan plan = PlanSplit(SplitLook{path, std::string(), std::uint64_t(sizeKb) * kBytesPerKb, recovery});
  const SplitOutcome outcome = plan.refusal ? SplitOutcome{} : Split(plan);
  if (plan.refusal || !outcome.refusal.empty()) {
    std::fprintf(stderr, "split_driver: %s\n", plan.refusal ? plan.refusal->c_str() : outcome.refusal.c_str());
    return 1;
  }
  using Seconds = std::chrono::duration<double>;
  if (time) {
    std::printf("%.3f %.3f %.3f %.3f\n", Seconds(DriverPlatform::Clock::now() - start).count(),
                Seconds(platform.inWrites).count(), Seconds(platform.inCreates).count(),
                Seconds(platform.inCloses).count());
  }
  return 0;
}

#ifdef _WIN32
#include "platform/platform_win.h"

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
