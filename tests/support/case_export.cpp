#include "case_export.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "test_platform.h"
#include "text/text.h"

namespace morsela::test {

namespace fs = std::filesystem;

namespace {

// The test platform in force when no fault is set in it; else nullptr.
TestPlatform* Plain() {
  auto* platform = dynamic_cast<TestPlatform*>(&System());
  if (!platform) return nullptr;
  const bool faulty = platform->readFault || platform->unreadableTo > platform->unreadableFrom ||
                      platform->writeFault.stage != Stage::kNone ||
                      !platform->listFaultIn.empty() || platform->replaceFault ||
                      !platform->removeFaultIn.empty() || platform->duringRead || platform->duringWrite;
  return faulty ? nullptr : platform;
}

std::string Json(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') out += '\\', out += char(c);
    else if (c == '\n') out += "\\n";
    else if (c < 0x20) {
      out += "\\u00";
      out += "0123456789abcdef"[c >> 4];
      out += "0123456789abcdef"[c & 15];
    } else out += char(c);
  }
  return out + "\"";
}

std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const std::string& name : ListDir(folder)) {
    if (fs::is_regular_file(fs::u8path(folder + name))) files[name] = ReadAll(folder + name);
  }
  return files;
}

}  // namespace

CaseExport::CaseExport(const std::string& program) {
  const char* root = std::getenv("MORSELA_CASE_EXPORT");
  if (!root || !*root || !Plain()) return;
  static int serial = 0;
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  program_ = program;
  folder_ = DirectoryOf(program);
  to_ = std::string(root) + "/" + FormatDecimal(1000 + serial++).substr(1) + "-" + test->test_suite_name() + "." +
        test->name() + "/";
  fs::create_directories(fs::u8path(to_ + "files"));
  for (const auto& [name, bytes] : Snapshot(folder_)) WriteAll(to_ + "files/" + name, bytes);
  messagesBefore_ = Plain()->messages.size();
}

void CaseExport::Finish(int code) {
  if (to_.empty()) return;
  TestPlatform* platform = Plain();
  std::string first, second, restored;
  if (platform && platform->messages.size() > messagesBefore_) {
    first = platform->messages[messagesBefore_];
    second = platform->details[messagesBefore_];
  }
  const std::map<std::string, std::string> before = Snapshot(to_ + "files/");
  if (code == 0) {
    for (const auto& [name, bytes] : Snapshot(folder_)) {
      auto was = before.find(name);
      if (was != before.end() && was->second == bytes) continue;
      restored = name;
      WriteAll(to_ + "expected.bin", bytes);
    }
  }
  std::ofstream out(fs::u8path(to_ + "case.json"));
  out << "{\"code\": " << code << ", \"first\": " << Json(first) << ", \"second\": " << Json(second)
      << ", \"restored\": " << Json(restored) << ", \"program\": " << Json(FileNameOf(program_)) << "}\n";
}

}  // namespace morsela::test
