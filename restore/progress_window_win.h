// The restore program's window for a long restore: it appears only once a
// restore has run for about a second with a while still to go, so a quick
// restore shows nothing. It shows the stored name, a bar of the bytes
// written and a Cancel button; Cancel, Esc and the close box stop the
// restore at the next block. Made with CreateWindowEx and drawn by hand:
// the program carries no dialog template and no common controls.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "progress.h"

namespace morsela {

class RestoreProgressWindow : public Progress {
 public:
  // The restore's time counts from here.
  RestoreProgressWindow();
  ~RestoreProgressWindow() override;
  RestoreProgressWindow(const RestoreProgressWindow&) = delete;
  RestoreProgressWindow& operator=(const RestoreProgressWindow&) = delete;

  void Begin(const std::string& name, std::uint64_t total) override;
  // Opens the window when the time comes, then lets it handle what is
  // pending (at most every 10 ms) and redraws the bar (at most every 50 ms).
  // False once the user asked to stop.
  bool Advance(const ProgressReport& report) override;

  // Takes the window away for good, so that a message box comes alone.
  void Close();

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Open();
  void PaintBar(HDC dc) const;

  std::string name_;
  ULONGLONG start_;
  ULONGLONG lastPump_ = 0, lastDrawn_ = 0;
  std::uint64_t done_ = 0, total_ = 0;
  HWND window_ = nullptr;
  bool opened_ = false;  // the window was made (or could not be): never again
  bool stopped_ = false;
};

}  // namespace morsela
