// Ends the session for one program as Windows does at a log-off: asks its
// window whether the session may end (WM_QUERYENDSESSION), tells it that
// it ends (WM_ENDSESSION), then waits for the program to end and prints
// its answer and its exit code.
//   end_session.exe WINDOW_TITLE
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  HWND window = nullptr;
  for (int i = 0; i < 200 && !window; ++i) {
    window = FindWindowW(nullptr, argv[1]);
    if (!window) Sleep(50);
  }
  if (!window) {
    std::printf("no window\n");
    return 1;
  }
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  HANDLE program = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process);
  DWORD_PTR answer = 0;
  SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000, &answer);
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(window, WM_ENDSESSION, answer != 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000, &ignored);
  DWORD code = 259;
  if (program && WaitForSingleObject(program, 30000) == WAIT_OBJECT_0) GetExitCodeProcess(program, &code);
  std::printf("answer %d exit %lu\n", int(answer), code);
  return 0;
}
