// The splitter's application object: shows the main dialog and ends.
#pragma once

#include "application.h"

namespace morsela {

class CSplitterApp : public ui::Application {
 public:
  ~CSplitterApp() override;
  // Runs the main dialog to its end; returns false, so the program ends.
  bool InitInstance() override;
};

}  // namespace morsela
