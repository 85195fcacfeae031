#pragma once

// The application's start page on the local web server.
constexpr wchar_t kStartPageUrl[] = L"http://localhost/start.php";

// Asks the shell to open the start page in the default browser; the result is not looked at.
void openStartPage();
