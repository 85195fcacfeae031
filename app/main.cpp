#include <windows.h>

#include "app/application.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  int code = 1;
  {
    Application application;
    code = application.run(instance);
  }
  return code;
}
