#include <windows.h>

#include "app/application.h"
#include "win/system_files.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // Before anything loads a DLL by name: the program folder is writable by the site's users.
  restrictDllSearchToSystem();
  int code = 1;
  {
    Application application;
    code = application.run(instance);
  }
  return code;
}
