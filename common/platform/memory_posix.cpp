#include "platform/memory.h"

#include <sys/mman.h>
#include <unistd.h>

namespace morsela {

std::uint64_t PhysicalMemory() {
  const long pages = sysconf(_SC_PHYS_PAGES), size = sysconf(_SC_PAGESIZE);
  return pages > 0 && size > 0 ? std::uint64_t(pages) * std::uint64_t(size) : 0;
}

// Anonymous memory is zeroed; MAP_POPULATE makes its pages ready in one go
// where the system has it.
LargeBuffer ZeroedLargeBuffer(std::size_t bytes) {
  if (bytes == 0) return LargeBuffer(nullptr, LargeRelease{0});
  int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#ifdef MAP_POPULATE
  flags |= MAP_POPULATE;
#endif
  void* memory = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, flags, -1, 0);
  if (memory == MAP_FAILED) return LargeBuffer(nullptr, LargeRelease{0});
  return LargeBuffer(static_cast<char*>(memory), LargeRelease{bytes});
}

void LargeRelease::operator()(char* memory) const {
  if (memory) ::munmap(memory, bytes);
}

}  // namespace morsela
