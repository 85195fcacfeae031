#pragma once

#include <windows.h>

// The application's start page on the local web server, and the port it is served on.
constexpr wchar_t kStartPageUrl[] = L"http://localhost/start.php";
constexpr USHORT kStartPagePort = 80;

// Asks the shell to open the start page in the default browser; the result is not looked at.
void openStartPage();
