#include "app/application.h"
#include "app/control_window.h"
#include "app/handles.h"

void Application::stopChildren() {
  if (databaseProcess.process) {
    if (databaseProcess.isRunning() && !config.noTerminate) databaseProcess.terminate(0);
    databaseProcess.close();
  }
  if (webServerProcess.process) {
    if (webServerProcess.isRunning() && !config.noTerminate) webServerProcess.sendCtrlC();
    webServerProcess.close();
  }
}

void Application::stopServersAndQuit() {
  if (!config.noTerminate) {
    databaseProcess.terminate(0);
    webServerProcess.sendCtrlC();
  }
  PostQuitMessage(0);
}

void Application::endOfRunTeardown() {
  if (controlWindow) {
    KillTimer(controlWindow, TIMER_SUPERVISE);
    KillTimer(controlWindow, TIMER_STARTUP);
  }
  if (trayAdded) {
    tray.removeTrayIcon();
    trayAdded = false;
  }
  destroyMenu(trayMenu);
  destroyIcon(trayIconHandle);
  stopChildren();
  destroyWindow(controlWindow);
}

Application::~Application() {
  releaseTrayAndMenu();
  stopChildren();
  destroyWindow(controlWindow);
  if (logWindow) {
    destroyWindow(logWindow);
    journalEdit = nullptr;
    exitButton = nullptr;
    collapseButton = nullptr;
  }
  closeHandle(instanceMutex);
}
