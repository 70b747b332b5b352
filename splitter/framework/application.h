// The application object: one static instance per program, whose
// InitInstance runs when the program starts.
#pragma once

#include <string>
#include <vector>

namespace morsela::ui {

class Dialog;

// Makes the dialogs' common controls (the list view) available and drawn in
// the current visual style; call before the first dialog is created.
void EnableCommonControls();

class Application {
 public:
  Application();
  virtual ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // Starts the program. False ends it at once, which a program that runs
  // everything inside one modal dialog does.
  virtual bool InitInstance() = 0;

  void SetMainWindow(Dialog* window) { mainWindow_ = window; }
  Dialog* mainWindow() const { return mainWindow_; }

  // The program's one application object; nullptr when there is none.
  static Application* Current();

 private:
  Dialog* mainWindow_ = nullptr;
};

// What follows the program's own name on its command line, in UTF-8.
struct CommandLine {
  // Split by the system's rules: spaces and tabs part the arguments, except
  // inside double quotes, which are taken away.
  std::vector<std::string> arguments;
  // The same text as it came, unsplit, without the spaces around it.
  std::string rest;
};

// The command line the program was started with.
CommandLine ProgramCommandLine();

// The program's start: InitInstance of the application object, then, if it
// asked for one, a message loop. Returns the program's exit code.
int RunApplication();

}  // namespace morsela::ui
