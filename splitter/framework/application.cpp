#include "application.h"

namespace morsela::ui {

namespace {
Application* current = nullptr;
}

Application::Application() { current = this; }

Application::~Application() {
  if (current == this) current = nullptr;
}

Application* Application::Current() { return current; }

}  // namespace morsela::ui
