#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "config/launcher_config.h"
#include "orchestration/server.h"
#include "orchestration/start_page_probe.h"

// The servers the Launcher looks after, as one stack: starting them, noticing and reporting their
// ends, the all-started moment, the start page, and every stop. What differs between the servers is
// their kind's data. The stack touches no window of ours: each operation returns a report, and the
// shell shows it.

// How long a server asked to stop gets to shut down before it is ended by force.
constexpr DWORD kStopBoundMs = 10000;
// Every configured server must have run for more than this before the all-started event.
constexpr DWORD kAllStartedDelayMs = 3000;
// Ticks that re-apply the server windows' visibility after a start.
constexpr int kVisibilityPasses = 20;
// How often the shell ticks while the stack has something under way (a stop, a shutdown event
// still to appear, the start page's wait, the windows of a new start).
constexpr UINT kFastTickMs = 100;

inline bool pastAllStartedDelay(DWORD now, DWORD startTick) {
  return ticksSince(now, startTick) > kAllStartedDelayMs;
}

// What may still happen: nothing starts once the Launcher exits or the session ends.
enum class StackPhase {
  Starting,      // before the servers' first start
  Running,       // the servers are looked after; a server stopped now is being restarted
  Exiting,       // Exit waits for the servers it stops; the windows still answer
  Quitting,      // the quit is on its way
  SessionEnded,  // Windows ends the session: nothing starts any more, only the quit remains
};

// Why servers are stopped. Restart stops one server to start it again; the others stop them all.
enum class StopReason {
  Restart,
  Exit,         // the servers Exit waits for, then the quit; the rest end as the Launcher goes
  StopAndExit,  // as Exit, and the others are interrupted the moment the waited ones are gone
  SessionEnd,   // all at once, waited for here: inside WM_ENDSESSION no timer is dispatched
};

// What an operation of the stack did that the shell is to show.
struct StackReport {
  JournalLines lines;
  bool attention = false;            // bring the Journal forward when hidden
  const wchar_t* balloon = nullptr;  // a tray balloon, with attention
  bool openStartPage = false;        // after the lines
  bool allStarted = false;           // every server runs: said last, and the Journal may hide
  bool journalStays = false;         // with allStarted: the Journal stays on screen
  JournalLines afterAllStarted;      // said after the all-started line
  bool quit = false;                 // the stop the Launcher waited for is done
};

struct ServerStack {
  // The settings the servers are started with; defaults until configured.
  const LauncherConfig* config;
  std::wstring programFolder;
  // In the order they start (the database before the site that needs it) and are stopped.
  std::vector<std::unique_ptr<Server>> servers;
  StackPhase phase = StackPhase::Starting;
  // Exit or StopAndExit while the phase is Exiting.
  StopReason exitReason = StopReason::Exit;
  // Where the servers' end notices (wParam: the server's index, lParam: its start) and the start
  // page's socket events are posted; null: ends are found by the ticks.
  HWND noticeWindow = nullptr;
  UINT endMessage = 0;
  UINT probeMessage = 0;
  // The windows of the servers whose kind owns them.
  bool windowsVisible = true;
  int visibilityPasses = kVisibilityPasses;
  bool allStartedReported = false;
  // The all-started line waits for the first answer of the start page's port.
  bool allStartedPending = false;
  bool browserOpened = false;
  bool startPageWaiting = false;
  DWORD startPageWaitTick = 0;
  DWORD startPageAttemptTick = 0;
  // The last status line 500–599 of the start page, while it is asked again.
  std::wstring startPageFailure;
  USHORT startPagePort = kStartPagePort;
  StartPageProbe startPageProbe;

  ServerStack();
  ~ServerStack() { release(); }
  ServerStack(const ServerStack&) = delete;
  ServerStack& operator=(const ServerStack&) = delete;

  // A fresh stack of one server of each kind, in start order, under settings and programFolder.
  void configure(const LauncherConfig& settings, const std::wstring& folder, const ServerKind* const* kinds,
                 size_t count);
  // The server of kind, or null.
  Server* find(const ServerKind& kind) const;
  bool configured(const Server& server) const;
  bool exiting() const { return phase != StackPhase::Starting && phase != StackPhase::Running; }
  // Whether any server must still be stopped for the Launcher to go cleanly.
  bool serversToStop() const;
  // Whether Exit must wait for a server, so the windows must stay.
  bool exitMustWait() const;
  // Whether the shell should tick every kFastTickMs.
  bool needsFastTick() const;

  // Starts every configured server; the phase becomes Running.
  StackReport startAll();
  // Every stop: of server, to restart it (null for the others). Exit and a restart wait in the
  // message loop, through end notices and ticks; the session's end waits here, bounded.
  StackReport stop(StopReason reason, Server* server = nullptr);
  // An end notice (the server's index and its start), or the supervision tick.
  StackReport onEndNotice(WPARAM index, LPARAM startCount);
  StackReport tick(DWORD now);
  // A socket event of the start page's probe.
  StackReport onProbeEvent(WPARAM socket, LPARAM event);
  // Shows or hides the windows of the servers that own windows; brings the first forward when
  // showing.
  void showWindows(bool show);
  // At logoff: the servers no longer end with the Launcher (a session end that goes on), or again
  // do (one that was cancelled).
  void releaseJobs();
  void rearmJobs();
  // The end of the run: a server still running is ended as its kind wants (or left with
  // NoTerminate), and nothing more is watched. May run twice.
  void release();

  // The steps of the operations above.
  void startServer(Server& server, StackReport* report);
  // Asks server to stop, with its line; by force at once when nothing can be delivered.
  void beginStop(Server& server, StackReport* report);
  void forceStop(Server& server, const std::wstring& line, StackReport* report);
  void serverEnded(Server& server, StackReport* report);
  void finishExit(StackReport* report);
  void stopForSessionEnd(StackReport* report);
  bool everyConfiguredServerRuns(DWORD now) const;
  void beginStartPageWait(StackReport* report);
  void startPageAttemptFailed(StackReport* report);
  void startPageAnswered(StackReport* report);
  void startPageReplied(StackReport* report);
  // A start page that answered amiss: the red line, the Journal kept, the page opened or not.
  void startPageFailed(const std::wstring& line, bool open, StackReport* report);
  bool webServerServes() const;
  void startPageTick(DWORD now, StackReport* report);
  void endStartPageWait();
  void announceAllStarted(StackReport* report);
  std::wstring workingDirectory() const;
};

// The servers the Launcher knows, in start order.
extern const ServerKind* const kServerKinds[];
extern const size_t kServerKindCount;
