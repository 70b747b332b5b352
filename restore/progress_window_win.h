// The restore program's window for a long restore: it appears only once a
// restore has run for about a second with a while still to go, so a quick
// restore shows nothing. It shows the stored name, a bar of the bytes
// written and a Cancel button; Cancel, Esc and the close box stop the
// restore at the next block. Made with CreateWindowEx and drawn by hand:
// the program carries no dialog template and no common controls. It is
// made, hidden, when the program starts, so that the end of the session
// (a log-off, a shut-down) reaches the program and stops the restore too.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "pipeline/progress.h"

namespace morsela {

class RestoreProgressWindow : public Progress {
 public:
  // The restore's time counts from here; the window is made, hidden.
  RestoreProgressWindow();
  ~RestoreProgressWindow() override;
  RestoreProgressWindow(const RestoreProgressWindow&) = delete;
  RestoreProgressWindow& operator=(const RestoreProgressWindow&) = delete;

  void Begin(const std::string& name, std::uint64_t total) override;
  // Shows the window when the time comes, lets it handle what is pending
  // (at most every 10 ms) and redraws the bar (at most every 50 ms). False
  // once the user or the session's end asked to stop.
  bool Advance(const ProgressReport& report) override;

  // Takes the window away for good, so that a message box comes alone.
  void Close();

  // After a restore that needed telling of: the window shows `text` with
  // a Close button, and stays until the user closes it (or the session
  // ends). Nothing where there is no window system.
  void Finish(const std::string& text);

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Create();
  void Show();
  void PaintBar(HDC dc) const;

  std::string name_;
  ULONGLONG start_;
  ULONGLONG lastPump_ = 0, lastDrawn_ = 0;
  std::uint64_t done_ = 0, total_ = 0;
  HWND window_ = nullptr, text_ = nullptr, cancel_ = nullptr;
  bool shown_ = false;  // shown (or closed for good): never shown again
  bool stopped_ = false;
};

}  // namespace morsela
