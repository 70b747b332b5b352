#include "platform.h"

namespace morsela {

namespace {
Platform* g_current = nullptr;
}

std::uint64_t InputFile::CopyTo(OutputFile& out, std::vector<char>& buffer, bool& writeFailed) {
  std::uint64_t copied = 0;
  writeFailed = false;
  while (std::size_t got = Read(buffer.data(), buffer.size())) {
    if (Failed()) break;
    if (!out.Write(buffer.data(), got)) {
      writeFailed = true;
      break;
    }
    copied += got;
  }
  return copied;
}

Platform& System() { return g_current ? *g_current : NativePlatform(); }

Platform* SetSystem(Platform* platform) {
  Platform* previous = g_current ? g_current : &NativePlatform();
  g_current = platform;
  return previous;
}

}  // namespace morsela
