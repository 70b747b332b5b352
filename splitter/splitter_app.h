// The splitter's application object: shows the main dialog and ends.
#pragma once

#include <string>

#include "application.h"

namespace morsela {

// The file the program was asked to open: the first argument of its
// command line (the shell passes the files dropped onto the program's icon,
// sent to it or opened with it, one argument each, quoted when they hold
// spaces). A path with spaces passed without quotes arrives cut into
// several arguments: when the first names nothing and the whole unquoted
// rest names something, the rest is the path. Made absolute, with long
// names, as a drop gives it; empty when there is no argument.
std::string StartUpPath(const ui::CommandLine& line);

class CSplitterApp : public ui::Application {
 public:
  ~CSplitterApp() override;
  // Runs the main dialog to its end, with the file of the command line
  // chosen; returns false, so the program ends.
  bool InitInstance() override;
};

}  // namespace morsela
