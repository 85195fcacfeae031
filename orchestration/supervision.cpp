#include "app/application.h"

// Placeholder until supervision lands.
void Application::supervise() {}
