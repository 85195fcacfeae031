#pragma once

// The program's version, in the one place both the version block and the About text read it.
#define WENDLOR_VERSION_MAJOR 3
#define WENDLOR_VERSION_MINOR 2
#define WENDLOR_VERSION_PATCH 0
#define WENDLOR_VERSION_BUILD 0
#define WENDLOR_VERSION_TEXT "3.2.0.0"
#define WENDLOR_VERSION_SHORT L"3.2"
