#include "win/window_visibility.h"

namespace {

BOOL CALLBACK applyToWindow(HWND window, LPARAM parameter) {
  auto* request = reinterpret_cast<WindowVisibilityRequest*>(parameter);
  if (!request) return TRUE;
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != request->pid) return TRUE;
  // Dialogs and other owned popups follow their owner; they are not ours to show.
  if (GetParent(window)) return TRUE;
  // Async: the change is posted to the window's own thread, so a busy server never stalls us.
  if (request->show) {
    ShowWindowAsync(window, SW_SHOW);
    if (!request->firstShown) request->firstShown = window;
  } else {
    ShowWindowAsync(window, SW_HIDE);
  }
  return TRUE;
}

}  // namespace

HWND applyWindowVisibility(DWORD pid, bool show) {
  WindowVisibilityRequest request;
  request.pid = pid;
  request.show = show;
  EnumWindows(applyToWindow, reinterpret_cast<LPARAM>(&request));
  return request.firstShown;
}
