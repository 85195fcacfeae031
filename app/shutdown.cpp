#include "app/application.h"
#include "app/control_window.h"
#include "app/handles.h"

namespace {

// A database killed mid-write can leave its tables damaged: ask it with a console Ctrl+C,
// give it a bounded time to shut down, and only then end it by force.
void stopDatabase(ChildProcess& database) {
  if (!database.isRunning()) return;
  database.sendCtrlC();
  if (database.process && WaitForSingleObject(database.process, kDatabaseStopTimeoutMs) == WAIT_OBJECT_0) return;
  if (database.isRunning()) database.terminate(0);
}

}  // namespace

void Application::stopChildren() {
  if (databaseProcess.process) {
    if (!config.noTerminate) stopDatabase(databaseProcess);
    databaseProcess.close();
  }
  if (webServerProcess.process) {
    if (webServerProcess.isRunning() && !config.noTerminate) webServerProcess.sendCtrlC();
    webServerProcess.close();
  }
}

void Application::stopServersAndQuit() {
  serversStopping = true;
  if (!config.noTerminate) {
    stopDatabase(databaseProcess);
    // One interrupt and no wait: a web server that ignores it is left running.
    if (webServerProcess.isRunning()) webServerProcess.sendCtrlC();
  }
  PostQuitMessage(0);
}

void Application::endOfRunTeardown() {
  if (controlWindow) {
    KillTimer(controlWindow, TIMER_SUPERVISE);
    KillTimer(controlWindow, TIMER_STARTUP);
  }
  endStartPageProbe();
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
