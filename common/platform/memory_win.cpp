#include "platform/memory.h"

#include <windows.h>

namespace morsela {

std::uint64_t PhysicalMemory() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  return GlobalMemoryStatusEx(&status) ? status.ullTotalPhys : 0;
}

// Committed memory is zeroed; its pages come at their first touch.
LargeBuffer ZeroedLargeBuffer(std::size_t bytes) {
  if (bytes == 0) return LargeBuffer(nullptr, LargeRelease{0});
  void* memory = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  return LargeBuffer(static_cast<char*>(memory), LargeRelease{memory ? bytes : 0});
}

void LargeRelease::operator()(char* memory) const {
  if (memory) VirtualFree(memory, 0, MEM_RELEASE);
}

}  // namespace morsela
