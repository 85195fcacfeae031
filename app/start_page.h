#pragma once

#include <windows.h>

#include "orchestration/start_page_probe.h"

// Asks the shell to open the start page in the default browser; the result is not looked at.
void openStartPage();
