// The person at a front end: the messages shown to them and the questions
// they answer. Only the front ends (the window, the restore program, the
// command line, the page) reach for it; the split and the restore give a
// plan and an outcome, and a front end shows them. The build links a Win32
// (message boxes) or a POSIX (the error stream) user; a front end or a test
// installs its own.
#pragma once

#include <string>

namespace morsela {

class User {
 public:
  virtual ~User() = default;
  // Shows one of the system's fixed message texts, its second line naming
  // what it concerns, and waits for the user.
  virtual void ShowMessage(const std::string& text) = 0;
  // Asks `text`, a question the user answers with Yes or No, No being the
  // answer that Enter gives; true for Yes.
  virtual bool Ask(const std::string& text) = 0;
};

// The user in force: the native one unless a front end or a test installed
// another.
User& TheUser();
// Installs `user` (not owned) in place of the current one and returns the
// one it replaces; nullptr goes back to the native one.
User* SetUser(User* user);
// The one for the system the program was built for.
User& NativeUser();

}  // namespace morsela
