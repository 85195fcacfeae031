#include "app/application.h"
#include "config/paths.h"

std::wstring Application::EffectiveWorkingDirectory() const {
  return ResolveFolderSetting(config.workingDirectory, programFolder, programFolder);
}

std::wstring Application::webServerCommand() const { return TrimWide(config.webServer); }

// Placeholders until the server start-up lands.
void Application::startDatabase() {}
bool Application::startWebServer() { return false; }
