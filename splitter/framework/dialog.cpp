#include "dialog.h"

#include <utility>

namespace morsela::ui {

const MessageEntry Dialog::kMessageEntries[] = {
    {kWmInitDialog, 0, 0, &Invoke<&Dialog::OnInitDialog>},
    {kWmCommand, kBnClicked, kIdOk, &Invoke<&Dialog::OnOK>},
    {kWmCommand, kBnClicked, kIdCancel, &Invoke<&Dialog::OnCancel>},
};
const MessageMap Dialog::kMessageMap = {nullptr, kMessageEntries, std::size(kMessageEntries)};

Rect CenterInWorkArea(const Rect& window, const Rect& work) {
  const int width = window.Width(), height = window.Height();
  int left = (work.left + work.right) / 2 - width / 2;
  int top = (work.top + work.bottom) / 2 - height / 2;
  if (left < work.left) left = work.left;
  else if (left + width > work.right) left = work.right - width;
  if (top < work.top) top = work.top;
  else if (top + height > work.bottom) top = work.bottom - height;
  return {left, top, left + width, top + height};
}

int ProgressPosition(std::uint64_t done, std::uint64_t total) {
  if (total == 0) return 0;
  if (done >= total) return kProgressRange;
  // In floating point: done x range overflows 64 bits past 1.8 PB; the
  // rounding error stays far below one step.
  const int position = int(double(done) / double(total) * kProgressRange);
  return position < kProgressRange ? position : kProgressRange - 1;
}

Dialog::Dialog(int templateId, Dialog* parent) : templateId_(templateId), parent_(parent) {}

Dialog::~Dialog() = default;

const MessageMap* Dialog::GetMessageMap() const { return &kMessageMap; }

bool Dialog::OnInitDialog() { return true; }

void Dialog::OnOK() { EndDialog(kIdOk); }

void Dialog::OnCancel() { EndDialog(kIdCancel); }

Result Dialog::WindowProc(Message message, WParam wParam, LParam lParam) {
  // Handlers may cause nested messages (EN_CHANGE while a handler sets a
  // field's text), so the message being handled is restored afterwards.
  const Message outerMessage = std::exchange(current_, message);
  const WParam outerW = std::exchange(currentW_, wParam);
  const LParam outerL = std::exchange(currentL_, lParam);
  // The scale is known before any handler of these messages runs.
  if (message == kWmInitDialog) dpi_ = SystemDpi();
  if (message == kWmDpiChanged) dpi_ = int(wParam & 0xFFFF);
  Result result = 0;
  if (!Dispatch(message, wParam, lParam, result)) result = DefaultWindowProc(message, wParam, lParam);
  current_ = outerMessage;
  currentW_ = outerW;
  currentL_ = outerL;
  return result;
}

Result Dialog::Default() { return DefaultWindowProc(current_, currentW_, currentL_); }

bool Dialog::Dispatch(Message message, WParam wParam, LParam lParam, Result& result) {
  unsigned code = 0;
  int control = 0;
  if (message == kWmCommand) {
    code = unsigned(wParam >> 16) & 0xFFFF;
    control = int(wParam & 0xFFFF);
  } else if (message == kWmNotify) {
    const auto* header = reinterpret_cast<const NotifyHeader*>(lParam);
    code = header->code == kLvnGetDispInfoW ? kLvnGetDispInfo : header->code;
    control = int(header->id);
  }
  const bool keyed = message == kWmCommand || message == kWmNotify;
  for (const MessageMap* map = GetMessageMap(); map; map = map->base) {
    for (std::size_t i = 0; i < map->count; ++i) {
      const MessageEntry& entry = map->entries[i];
      if (entry.message != message) continue;
      if (keyed && (entry.code != code || entry.control != control)) continue;
      result = entry.handler(*this, lParam);
      return true;
    }
  }
  return false;
}

}  // namespace morsela::ui
