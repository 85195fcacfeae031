#include "tests/support/dialog_driver.h"

#include <dlgs.h>

#include <set>
#include <vector>

#include "tests/support/e2e_support.h"

namespace e2e {

namespace {

BOOL CALLBACK collectDialog(HWND window, LPARAM list) {
  if (IsWindowVisible(window) && windowClass(window) == L"#32770") {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  }
  return TRUE;
}

std::vector<HWND> dialogsOf(DWORD thread) {
  std::vector<HWND> found;
  EnumThreadWindows(thread, collectDialog, reinterpret_cast<LPARAM>(&found));
  return found;
}

// The file name field of a save dialog: a combo box in the newer template, an edit in the older.
HWND fileNameField(HWND dialog) {
  HWND field = GetDlgItem(dialog, cmb13);
  return field ? field : GetDlgItem(dialog, edt1);
}

}  // namespace

DialogDriver::DialogDriver(const std::wstring& filePath) : uiThread(GetCurrentThreadId()), path(filePath) {
  worker = std::thread([this] {
    std::set<HWND> answered;
    while (!stopping) {
      for (HWND dialog : dialogsOf(uiThread)) {
        if (answered.count(dialog)) continue;
        if (HWND field = fileNameField(dialog)) {
          offeredName = windowText(field);
          SetWindowTextW(field, path.c_str());
          fileDialogSeen = true;
          PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
          answered.insert(dialog);
        } else if (GetDlgItem(dialog, IDYES)) {
          PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
          ++questionsAnswered;
          answered.insert(dialog);
        }
      }
      Sleep(20);
    }
  });
}

DialogDriver::~DialogDriver() {
  stopping = true;
  worker.join();
}

}  // namespace e2e
