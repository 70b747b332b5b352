#include "platform/platform.h"

namespace morsela {

namespace {

Platform* g_current = nullptr;

class Appender : public EntrySink {
 public:
  explicit Appender(std::vector<DirEntry>& entries) : entries_(entries) {}
  void Take(const DirEntry& entry) override { entries_.push_back(entry); }

 private:
  std::vector<DirEntry>& entries_;
};

}  // namespace

bool Platform::List(const std::string& pattern, std::vector<DirEntry>& entries) {
  Appender appender(entries);
  return Scan(pattern, appender);
}

Platform& System() { return g_current ? *g_current : NativePlatform(); }

Platform* SetSystem(Platform* platform) {
  Platform* previous = g_current ? g_current : &NativePlatform();
  g_current = platform;
  return previous;
}

}  // namespace morsela
