#include "platform.h"

namespace morsela {

namespace {
Platform* g_current = nullptr;
}

Platform& System() { return g_current ? *g_current : NativePlatform(); }

Platform* SetSystem(Platform* platform) {
  Platform* previous = g_current ? g_current : &NativePlatform();
  g_current = platform;
  return previous;
}

}  // namespace morsela
