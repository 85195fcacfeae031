#include "app/application.h"

// Placeholder until the guard lands: every start goes on.
bool Application::acquireSingleInstance() { return true; }
