// The restore page's WebAssembly module: the functions its worker calls,
// and the two it gives the module (reading a chosen file, hearing of the
// progress). The script passes numbers beyond 32 bits as doubles, exact up
// to 2^53 bytes.
#include <cstdlib>
#include <string>
#include <vector>

#include "format/crc32c.h"
#include "restore_page.h"

#define PAGE_IMPORT(name) __attribute__((import_module("morsela"), import_name(name)))
#define PAGE_EXPORT(name) extern "C" __attribute__((export_name(name)))

PAGE_IMPORT("read") double PageRead(int file, double offset, void* buffer, int size);
PAGE_IMPORT("progress") void PageProgress(double done, double total);

namespace morsela {
namespace {

class WorkerReader : public ChosenFileReader {
 public:
  std::int64_t ReadAt(std::size_t file, std::uint64_t offset, void* buffer, std::size_t size) override {
    return std::int64_t(PageRead(int(file), double(offset), buffer, int(size)));
  }
};

class WorkerProgress : public Progress {
 public:
  bool Advance(const ProgressReport& report) override {
    PageProgress(double(report.done), double(report.total));
    return true;
  }
};

WorkerReader reader;
RestorePage* page = nullptr;
std::vector<ChosenFile> files;
std::string result;

RestorePage& Page() {
  if (!page) page = new RestorePage(reader);
  return *page;
}

}  // namespace
}  // namespace morsela

using namespace morsela;

// Memory for the script to write into; freed with page_free.
PAGE_EXPORT("page_alloc") void* PageAlloc(int size) { return std::malloc(std::size_t(size)); }
PAGE_EXPORT("page_free") void PageFree(void* p) { std::free(p); }

// The set's description the page carries; 1 when it is one.
PAGE_EXPORT("page_carry") int PageCarry(const char* bytes, int size, const char* name, int nameSize) {
  return Page().Carry(std::string_view(bytes, std::size_t(size)), std::string(name, std::size_t(nameSize))) ? 1 : 0;
}

// The chosen files, one call each after page_clear, in the order chosen.
PAGE_EXPORT("page_clear") void PageClear() { files.clear(); }
PAGE_EXPORT("page_add") void PageAdd(const char* name, int nameSize, double size) {
  files.push_back(ChosenFile{std::string(name, std::size_t(nameSize)), std::uint64_t(size)});
}

// RestorePage::Choose and Check; the JSON's length is page_result_size().
PAGE_EXPORT("page_choose") const char* PageChoose() {
  result = Page().Choose(files);
  return result.data();
}
PAGE_EXPORT("page_check") const char* PageCheck() {
  WorkerProgress progress;
  result = Page().Check(&progress);
  return result.data();
}
PAGE_EXPORT("page_result_size") int PageResultSize() { return int(result.size()); }

// The page's helper workers checksum the chosen files side by side, each
// with its own instance of this module: the CRC-32C `crc` continued over
// `size` bytes at `bytes`. What they found goes to the check through
// page_know_crc32c (after page_choose, before page_check); the check
// compares it with the set's description as it would a CRC of its own.
PAGE_EXPORT("page_crc32c") std::uint32_t PageCrc32c(std::uint32_t crc, const void* bytes, int size) {
  return Crc32c(crc, bytes, std::size_t(size));
}
PAGE_EXPORT("page_know_crc32c") void PageKnowCrc32c(int file, std::uint32_t crc) {
  Page().platform().KnowCrc32c(std::size_t(file), crc);
}

PAGE_EXPORT("page_rebuilt") const char* PageRebuilt(double offset, int size) {
  return Page().Rebuilt(std::uint64_t(offset), std::size_t(size));
}

// What a platform falls back to; the page's own, which RestorePage puts in
// force, is the one in use.
Platform& morsela::NativePlatform() {
  static PagePlatform none(reader);
  return none;
}
