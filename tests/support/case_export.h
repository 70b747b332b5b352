// The restore's cases, exported for the restore page's browser tests: when
// the environment names a folder in MORSELA_CASE_EXPORT, each restore that
// a case table runs through the restore program leaves there a folder of
// its own with the case's files as they were before the restore and what
// the restore program made of them (case.json; the restored file as
// expected.bin). Cases that need what a browser cannot have (a fault the
// test platform injects) are not exported.
#pragma once

#include <string>

namespace morsela::test {

class CaseExport {
 public:
  // Copies the folder of `program` when exporting, before the restore.
  explicit CaseExport(const std::string& program);
  // Records the restore program's outcome `code`.
  void Finish(int code);

 private:
  std::string program_, folder_, to_;
  std::size_t messagesBefore_ = 0;
};

}  // namespace morsela::test
