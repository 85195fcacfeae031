#include "app/application.h"

// Placeholder until the drive mapping lands.
void Application::mapVirtualDrive() {}
