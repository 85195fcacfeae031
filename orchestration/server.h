#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "config/launcher_config.h"
#include "orchestration/error_log.h"
#include "process/child_process.h"
#include "process/server_job.h"

// One server the Launcher looks after, the web server or the database: starting it, noticing its
// end the moment its process handle signals, telling of that end, and stopping it are written once
// for both; what differs between the two is data.

// A server that ends within this much of its own start gets the early-exit report; one that ends
// later gets the report of a server that stopped.
constexpr DWORD kEarlyExitWindowMs = 5000;
// Longest wait on an ended server before its exit code and output are read.
constexpr DWORD kExitWaitMs = 1000;
// The newest part of a server's console output that a report shows, of both streams together.
constexpr size_t kReportOutputChars = 16384;

// How the port that a report names as taken is found.
enum class PortRule {
  StartPage,     // the start page's port
  MysqlOptions,  // the port of the database's command line, or its default
};

// Where a server's own error log is found, if it keeps one.
enum class ErrorLogRule {
  None,   // its errors go to its console
  Mysql,  // as the database finds it: its command line and option files
  Httpd,  // as Apache httpd finds it: its command line and httpd.conf; none for other web servers
};

// What differs between two kinds of server: the texts of their Journal lines and reports, where
// their settings are, and the rules of how each is started, watched and stopped. A third kind is a
// third record of this.
struct ServerKind {
  const wchar_t* name;               // as the subject of a Journal line
  const wchar_t* startingLine;       // before the command line
  const wchar_t* startFailedPrefix;  // before the failure message
  const wchar_t* startFailedNote;    // a line after a failed start; may be null
  const wchar_t* startedPrefix;      // before the PID and ")"
  const wchar_t* earlyExitLine;      // an end within kEarlyExitWindowMs of the start
  const wchar_t* stoppedPrefix;      // before the PID of a later end
  const wchar_t* stoppedSuffix;      // after its uptime
  const wchar_t* balloon;            // the tray balloon for a later end
  const wchar_t* stoppingLine;       // when the Launcher asks it to stop; may be null
  const wchar_t* restartingLine;     // when a restart begins
  const wchar_t* ctrlCNotDelivered;  // when it is ended by force because no request reached it
  const wchar_t* aboutHeading;       // its part of the About text
  // Its command and folder among the settings; optional: not started at all while the command is
  // empty (one that is not optional is started, and its empty command fails with the usual lines).
  std::wstring LauncherConfig::*command;
  std::wstring LauncherConfig::*folder;
  bool optional;
  bool earlyReportGivesExitCode;  // the early report names a non-zero exit code
  bool stopsByEvent;              // it is asked to stop by its shutdown event where that opens
  // Exit waits for it to shut down (bounded) before the quit; one that is not waited for gets
  // only a Ctrl+C as the Launcher goes, since it keeps no data that a cut could damage.
  bool exitWaits;
  // Its windows follow StartHidden and the tray's show/hide; others' are always hidden.
  bool ownsWindows;
  // The start page is opened once it answers on its port, and its end cancels that wait.
  bool servesStartPage;
  PortRule port;
  // How the error log of its own is found, whose new lines its report shows.
  ErrorLogRule errorLog;
};
extern const ServerKind kWebServerKind;
extern const ServerKind kDatabaseKind;

enum class ServerState {
  NotStarted,  // never started, or its start failed
  Running,     // started; its end will be reported
  Stopping,    // the Launcher asked it to end; that end is no one's news
  Ended,       // its end has been dealt with
};

// One Journal line as the caller writes it.
struct JournalLine {
  std::wstring text;
  bool isError = false;
  bool isSuccess = false;
};
using JournalLines = std::vector<JournalLine>;

struct Server {
  const ServerKind* kind;
  ChildProcess process;
  // Holds the process started and all it starts: the server has ended when the last of them has.
  ServerJob job;
  ServerState state = ServerState::NotStarted;
  DWORD startTick = 0;
  // Counts the starts, so that a notice of the end of an earlier start is told apart.
  DWORD startCount = 0;
  // The port whose other holder a report names (80, or the database's).
  USHORT port = 0;
  // When the Launcher began stopping it, and whether it had to be ended by force.
  DWORD stopTick = 0;
  bool forced = false;
  // Its shutdown event has been set since it was last asked to stop.
  bool shutdownEventSet = false;
  // The error log the server writes, as it was at its start: its report shows what this run
  // added. Unused where its errors go to its console.
  bool showsErrorLog = false;
  ErrorLogMark errorLog;
  // The program file of its command and the folder it starts in, for the words on a missing DLL;
  // empty when the program was not found.
  std::wstring programPath;
  std::wstring folder;
  // The system's wait on the process handle, and where it posts the end notice. Once the process
  // started has ended while others of its tree run, the wait is on one of those (treeMember).
  HANDLE endWait = nullptr;
  HANDLE treeMember = nullptr;
  HWND noticeWindow = nullptr;
  UINT noticeMessage = 0;
  WPARAM noticeId = 0;

  explicit Server(const ServerKind& serverKind) : kind(&serverKind) {}
  ~Server() { close(); }
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Starts it and adds the Journal lines of the start: the command, then the PID in green or
  // the failure in red. With inJob it runs in a job of its own, which ends it with the Launcher.
  bool start(const std::wstring& command, const std::wstring& folder, bool hideWindow, bool inJob, JournalLines* lines);
  // Whether any process of its tree still runs (the process started alone where it has no job).
  bool running() const;
  // Asks it to shut down: by its shutdown event where its kind has one and it opens, else by a
  // console Ctrl+C; false when neither reached it.
  bool askToStop();
  // While it is asked to stop: sets its shutdown event once the event has appeared (a server that
  // was still starting).
  void retryShutdownEvent();
  bool awaitsShutdownEvent() const {
    return kind->stopsByEvent && state == ServerState::Stopping && !forced && !shutdownEventSet;
  }
  // Ends its whole tree by force, the children first, with exit code 0.
  void terminateTree();
  // Every start after the first is a restart.
  DWORD restarts() const { return startCount > 1 ? startCount - 1 : 0; }
  // Posts noticeMessage (noticeId, startCount) to window once the process has ended (or, when it
  // has, another process of its tree that still runs), from a thread of the system's pool; false
  // when the system gives no wait.
  bool watchEnd(HWND window, UINT message, WPARAM id);
  // Ends the wait; returns once a notice being posted has been posted. Never from the callback.
  void unwatch();
  // Whether a notice is about this start of the server and still news.
  bool isCurrentStart(LPARAM count) const { return count == static_cast<LPARAM>(startCount); }
  // The report of its end, early or late by its own lifetime; the state becomes Ended.
  JournalLines endReport(DWORD now, bool* early);
  void close();
};

// Milliseconds from start to now as GetTickCount gives them; unsigned, so right across the wrap.
inline DWORD ticksSince(DWORD now, DWORD start) {
  return now - start;
}

// Milliseconds from a process's creation to its exit, as GetProcessTimes gives them; 0 when the
// exit time lies before the creation time.
ULONGLONG lifetimeMs(const FILETIME& created, const FILETIME& exited);

// How long an ended process lived: from its own creation and exit times when the system tells
// them, else the tick count from its start until now.
ULONGLONG endedProcessLifetimeMs(HANDLE process, DWORD startTick, DWORD now);

// "HH:MM:SS", hours with at least two digits.
std::wstring uptimeText(ULONGLONG ms);

// Removes trailing LF, CR and space (nothing else) from the end of output.
std::wstring trimConsoleOutput(const std::wstring& output);

// The newest limit characters of one stream's trimmed output, starting at a line when a line
// break lies inside them, with the cut note in front when anything was left out.
std::wstring reportOutput(const std::wstring& trimmed, size_t limit = kReportOutputChars);

// Both streams as a report shows them: standard output, then standard error, trimmed at the end.
// When together they exceed limit, each keeps its newest half and the share one does not use goes
// to the other; a cut note always starts a line.
std::wstring reportStreams(const std::wstring& out, const std::wstring& err, size_t limit = kReportOutputChars);

// The line for a server that did not end within boundMs of its Ctrl+C and was ended by force.
std::wstring stopBoundLine(const ServerKind& kind, DWORD boundMs);

// The Journal entries (all errors) for a server that ended within kEarlyExitWindowMs. The exit code
// line is followed by its reason and, for a missing DLL, the DLLs that programPath started in
// folder lacks.
std::vector<std::wstring> earlyExitReport(const ServerKind& kind, DWORD exitCode, const std::wstring& out,
                                          const std::wstring& err, const std::wstring& programPath,
                                          const std::wstring& folder);

// The entries for a server that stopped later.
std::vector<std::wstring> stoppedReport(const ServerKind& kind, DWORD pid, ULONGLONG lifetime, DWORD exitCode,
                                        const std::wstring& out, const std::wstring& err,
                                        const std::wstring& programPath, const std::wstring& folder);
