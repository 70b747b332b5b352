// The Win32 platform and user, for the executables that want to adjust how
// messages are shown.
#pragma once

#include <windows.h>

#include "platform/platform.h"
#include "platform/user.h"

namespace morsela {

class Win32Platform : public Platform {
 public:
  bool Scan(const std::string& pattern, EntrySink& sink) override;
  std::unique_ptr<InputFile> OpenRead(const std::string& path) override;
  std::unique_ptr<InputFile> OpenSource(const std::string& path) override;
  std::unique_ptr<OutputFile> Create(const std::string& path) override;
  std::unique_ptr<OutputFile> CreateNew(const std::string& path) override;
  bool Remove(const std::string& path) override;
  bool Replace(const std::string& from, const std::string& to) override;
  void CopyZoneMark(const std::string& from, const std::string& to) override;

  std::string DecodeLegacyName(const std::string& bytes) override;

  // The module resource of type "Binary", number 129.
  std::string_view RestoreImage() override;
  // The module resource of type "Binary", number 130.
  std::string_view PageTemplate() override;

  // Semaphores and threads of the system's own (no runtime library's).
  std::unique_ptr<Semaphore> NewSemaphore(unsigned count) override;
  std::unique_ptr<Thread> StartThread(void (*run)(void*), void* context) override;

};

class Win32User : public User {
 public:
  // A modal box with OK and the exclamation icon, owned by the message
  // owner (or the thread's active window), captioned with the executable's
  // file name without its extension.
  void ShowMessage(const std::string& text) override;
  // The same box with Yes and No, the warning icon, No the default.
  bool Ask(const std::string& text) override;

  // The window that owns the message boxes from now on; nullptr for none.
  void SetMessageOwner(HWND owner) { owner_ = owner; }

 private:
  HWND owner_ = nullptr;
};

// The one place where the program's UTF-8 and the system's UTF-16 meet.
std::wstring Wide(const std::string& utf8);
std::string Narrow(const wchar_t* utf16, std::size_t length);

// `path` as the system's wide calls take it: long absolute paths (beyond
// the old limit of 260 characters, with `suffix` more units that the
// caller appends, such as a stream's name) in their long form, "\\?\" or
// "\\?\UNC\"; paths already in that form (or "\\.\") with backslashes
// only; the rest as they are.
std::wstring SystemPath(const std::string& path, std::size_t suffix = 0);

// The primary screen's work area (the screen less the taskbar); the whole
// screen when the system cannot tell.
RECT PrimaryWorkArea();

// Full path of the running module; empty when the system cannot tell.
std::string ModuleFileName();

// Limits the search for DLLs to the system's own folder, so that a DLL put
// beside the program (in a Downloads folder, say) is never loaded in place
// of the system's. Called first thing; quietly nothing on a system that
// lacks the call.
void LoadDllsFromTheSystemOnly();

}  // namespace morsela
