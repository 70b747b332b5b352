// Splits one file as the splitter would, for the benchmarks and the
// end-to-end tests (the product itself has no command line):
//   split_driver PATH SIZE_KB [RESTORE_PROGRAM]
// The pieces get the restore program from the file given, else a stand-in.
// A message of the engine is printed and ends the run with exit code 1.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "pieces.h"
#include "platform.h"
#include "split_engine.h"
#include "text.h"

namespace {

using namespace morsela;

class DriverPlatform : public Platform {
 public:
  explicit DriverPlatform(std::string image) : image_(std::move(image)) {}
  std::vector<DirEntry> Find(const std::string& p) override { return real_.Find(p); }
  std::unique_ptr<InputFile> OpenRead(const std::string& p) override { return real_.OpenRead(p); }
  std::unique_ptr<OutputFile> Create(const std::string& p) override { return real_.Create(p); }
  bool Remove(const std::string& p) override { return real_.Remove(p); }
  bool Replace(const std::string& a, const std::string& b) override { return real_.Replace(a, b); }
  void ShowMessage(const std::string& text) override {
    std::fprintf(stderr, "%s\n", text.c_str());
    std::exit(1);
  }
  std::string_view RestoreImage() override { return image_; }

 private:
  Platform& real_ = NativePlatform();
  std::string image_;
};

bool ReadWhole(const std::string& path, std::string& bytes) {
  std::unique_ptr<InputFile> in = NativePlatform().OpenRead(path);
  if (!in) return false;
  char block[65536];
  while (std::size_t got = in->Read(block, sizeof block)) bytes.append(block, got);
  return !in->Failed();
}

}  // namespace

int main(int argc, char** argv) {
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
  DriverPlatform platform(image);
  SetSystem(&platform);
  const std::vector<DirEntry> found = System().Find(path);
  const std::uint64_t length = found.empty() ? 0 : found[0].size;
  CSplitEngine().SplitFile(path, sizeKb, PieceCount(length, path, sizeKb));
  return 0;
}
