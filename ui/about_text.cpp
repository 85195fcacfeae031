#include "app/application.h"

// Placeholder until the About text lands.
std::wstring Application::buildAboutText() const { return L"ZEM Wendlor v3.2\n"; }
