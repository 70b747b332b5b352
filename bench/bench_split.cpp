// Splits one file as the splitter would: bench_split PATH SIZE_KB
#include <cstdio>
#include <cstdlib>
#include <string>

#include "pieces.h"
#include "platform.h"
#include "split_engine.h"
#include "text.h"

int main(int argc, char** argv) {
  using namespace morsela;
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_split PATH SIZE_KB\n");
    return 2;
  }
  const std::string path = argv[1];
  const std::uint32_t sizeKb = ParseDecimal(argv[2]);
  const std::vector<DirEntry> found = System().Find(path);
  if (found.empty()) return 1;
  // The native build carries no restore program; any image will do here.
  struct WithImage : public Platform {
    Platform& real = NativePlatform();
    std::vector<DirEntry> Find(const std::string& p) override { return real.Find(p); }
    std::unique_ptr<InputFile> OpenRead(const std::string& p) override { return real.OpenRead(p); }
    std::unique_ptr<OutputFile> Create(const std::string& p) override { return real.Create(p); }
    bool Remove(const std::string& p) override { return real.Remove(p); }
    bool Replace(const std::string& a, const std::string& b) override { return real.Replace(a, b); }
    void ShowMessage(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); std::exit(1); }
    std::string_view RestoreImage() override { return "MZ"; }
  } platform;
  SetSystem(&platform);
  CSplitEngine().SplitFile(path, sizeKb, PieceCount(found[0].size, path, sizeKb));
  return 0;
}
