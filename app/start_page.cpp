#include "app/start_page.h"

#include <windows.h>
#include <shellapi.h>

void openStartPage() {
  ShellExecuteW(nullptr, L"open", kStartPageUrl, nullptr, nullptr, SW_SHOWNORMAL);
}
