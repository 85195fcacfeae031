#pragma once

// Helpers for tests that drive real programs from outside: temporary program folders, the
// real wendlor.exe started in them, windows found by class and process, Journal text read.

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/control_window.h"
#include "config/launcher_config.h"
#include "tests/support/journal_reader.h"
#include "ui/tray_icon.h"

namespace e2e {

// The one deadline of the tests that wait on another program: far above what any wait takes
// alone, so that a loaded machine does not fail a test.
constexpr DWORD kTimeoutMs = 20000;

// Polls pred every pollMs until it holds or timeoutMs have passed; the last answer of pred.
bool waitFor(const std::function<bool()>& pred, DWORD timeoutMs, DWORD pollMs = 20);

std::string toUtf8(const std::wstring& text);
std::wstring fromUtf8(const std::string& text);
// Bytes as a program's console output reads on this system: in the ANSI code page it reports.
std::wstring ansiText(const std::string& bytes);

// True when the tests run under Wine rather than on Windows itself.
bool underWine();
std::wstring quoted(const std::wstring& text);  // in double quotes, for a command line

// The folder of the running test program, where wendlor.exe and the fixtures are built.
std::wstring binDir();
std::wstring binPath(const std::wstring& exeName);

bool writeFile(const std::wstring& path, const std::string& bytes);
std::string readFile(const std::wstring& path);  // empty when missing
bool fileExists(const std::wstring& path);
bool removeTree(const std::wstring& path);

// A fresh folder under the temporary folder, removed with everything in it at the end.
struct TempFolder {
  std::wstring path;
  explicit TempFolder(const std::wstring& tag = L"t");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  std::wstring file(const std::wstring& name) const { return path + L"\\" + name; }
};

using Environment = std::vector<std::pair<std::wstring, std::wstring>>;

// Any program started and watched from outside; killed at the end if it still runs.
struct Process {
  HANDLE handle = nullptr;
  DWORD pid = 0;
  // Whether start passes this process's inheritable handles on (CreateProcessW's bInheritHandles).
  bool inheritHandles = false;
  Process() = default;
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  // exe plus arguments as one command line; folder empty = this process's current directory.
  bool start(const std::wstring& commandLine, const std::wstring& folder = L"", const Environment& extra = {});
  // Takes hold of a process that something else started (a server the Launcher runs).
  bool attach(DWORD processId);
  bool running() const;
  // Waits for the end; true with *code set when it ended in time.
  bool waitExit(DWORD timeoutMs, DWORD* code = nullptr);
  void kill();
};

std::vector<HWND> topLevelWindows(DWORD pid);  // visible or not, owned ones included
HWND findTopLevelWindow(DWORD pid, const std::wstring& className);
HWND findChildWindow(HWND parent, const std::wstring& className);  // class compared case-insensitively
std::wstring windowClass(HWND window);
std::wstring windowText(HWND window);  // WM_GETTEXT, works across processes
bool isProcessAlive(DWORD pid);
// Whether the shell holds the icon of this owner and identifier: a modify of an unknown icon fails.
bool shellHasIcon(HWND owner, UINT id = kTrayIconId);
// Ends the process with this id if it still runs (a server a test left behind) and waits for it.
void endProcess(DWORD pid);

// The wendlor.ini text that gives exactly these settings: every key the Launcher reads, written
// from its own record, so a test cannot misspell one.
std::string settingsFile(const LauncherConfig& config);

// The browser the Launcher reaches through the shell while a test runs: fixtures/url_recorder.exe,
// which appends each address to the file named by WENDLOR_TEST_URL_LOG. The Wine prefix of the
// test run has it registered already; on Windows it is registered for the current user while any
// Launcher of the test exists, and what was there before is put back.
struct BrowserRecorder {
  bool engaged = false;
  BrowserRecorder() = default;
  ~BrowserRecorder() { release(); }
  BrowserRecorder(const BrowserRecorder&) = delete;
  BrowserRecorder& operator=(const BrowserRecorder&) = delete;
  void engage();  // does nothing under Wine
  void engageHere();
  void release();
};
// True when the shell sends http addresses to the recorder here; why not otherwise.
bool browserIsRecorded(std::string* why);

// wendlor.exe copied into a program folder of its own, with its wendlor.ini.
struct Launcher {
  TempFolder folder{L"wendlor"};
  // Where wendlor.exe is: folder.path unless set before prepare (or by startCopyOf).
  std::wstring programFolder;
  BrowserRecorder browser;  // released after the process below has been ended
  Process process;
  std::wstring programPath() const { return programFolder.empty() ? folder.path : programFolder; }
  std::wstring exePath() const { return programPath() + L"\\wendlor.exe"; }
  // Copies wendlor.exe into the program folder and writes the ini (raw bytes) when given; raw
  // bytes only where the bytes themselves are under test, settings otherwise.
  bool prepare(const std::string* iniBytes);
  bool prepare(const std::string& iniBytes) { return prepare(&iniBytes); }
  bool prepare(const LauncherConfig& config) { return prepare(settingsFile(config)); }
  // Starts it; currentFolder empty = the program folder.
  bool start(const std::wstring& currentFolder = L"", const Environment& extra = {});
  // Starts another run of the wendlor.exe that first prepared, in its program folder.
  bool startCopyOf(const Launcher& first, const Environment& extra = {});
  HWND controlWindow(DWORD timeoutMs = 10000);
  HWND logWindow(DWORD timeoutMs = 10000);
  HWND journalEdit(DWORD timeoutMs = 10000);
  std::wstring journal();  // the rich edit's whole text, CR LF kept
  // The Journal's entries with their colours.
  std::vector<JournalEntry> entries();
  // Waits until the Journal holds needle; false at the deadline.
  bool waitJournal(const std::wstring& needle, DWORD timeoutMs = 10000);
  // Runs one supervision tick now, as the check interval's timer would, and returns once it is
  // over: a point the test knows that a tick has passed, with no waiting on the clock.
  bool tick();
  // Posts command to the control window and expects the program to end with exit code 0 (a
  // gtest failure otherwise).
  void quitAndExpectZero(UINT command = IDM_STOP_AND_EXIT);
  // Expects the program to end with exit code 0 after whatever the test did to end it.
  void expectExitZero();
  // The first message box (#32770) of the process, null when none appears in time.
  HWND messageBox(DWORD timeoutMs);
  bool waitExit(DWORD timeoutMs, DWORD* code) { return process.waitExit(timeoutMs, code); }
};

std::wstring messageBoxText(HWND dialog);

// Whether the shell holds the Launcher's tray icon (identifier 1 of owner): a modify of an
// unknown icon fails.

// Whether window answers a message within timeoutMs, so its thread is not stuck.
bool answersWithin(HWND window, DWORD timeoutMs);

// A fake_server.exe that the Launcher starts, seen from outside through its marker file.
struct StandIn {
  std::wstring marker;
  Process process;
  explicit StandIn(const std::wstring& markerPath = L"") : marker(markerPath) {}
  // The command line for the settings: fake_server.exe writing to the marker, then args.
  std::wstring command(const std::wstring& args = L"") const;
  std::string events() const { return readFile(marker); }
  bool has(const std::wstring& line) const;
  bool waitFor(const std::wstring& line) const;
  // Waits until it has started and takes hold of its process (killed at the end if still running).
  bool attach();
  bool running() const { return process.running(); }
  bool waitEnd() { return process.waitExit(kTimeoutMs); }
  // Its exit code once ended; 12345 while it runs.
  DWORD exitCode();
  // The moment it ended (FILETIME units); 0 while it runs.
  ULONGLONG exitTime() const;
};

// The number of Journal entries whose text is exactly text.
size_t countEntries(const std::vector<JournalEntry>& entries, const std::wstring& text);

// A start-up folder for the Launcher, and the log that the system's subst.exe of the test prefix
// (fixtures/fake_subst.exe, put there by the prefix script) records its calls into.
struct SubstStandIn {
  TempFolder folder{L"subst"};
  std::wstring path;  // the start-up folder: folder itself, or the subfolder asked for
  std::wstring log;
  explicit SubstStandIn(const std::wstring& subfolder = L"");
  // exitCode: what the fake subst.exe ends with.
  Environment environment(const wchar_t* exitCode = L"0") const;
  std::wstring calls() const;  // "call N\n[arg]\n..." per call, empty when never run
  // Whether the system's subst.exe here is the recording one; why not otherwise.
  static bool recording(std::string* why);
};

// fake_server.exe listening on a TCP port of 127.0.0.1: another program that holds the port.
struct PortListener {
  TempFolder folder{L"port"};
  Process process;
  // True once it listens; false with *why set when the port cannot be had here (taken, or not
  // ours to bind), so the caller can skip.
  bool start(unsigned port, std::string* why, const std::wstring& moreArgs = L"");
  std::wstring marker() const { return folder.file(L"listener.txt"); }
};

}  // namespace e2e

namespace e2e {

// Lines of a marker file that fake_server.exe writes (UTF-8, CR LF removed).
std::vector<std::wstring> markerLines(const std::wstring& path);
bool markerHas(const std::wstring& path, const std::wstring& line);
// The text after "key=" on the first such line; empty when there is none.
std::wstring markerValue(const std::wstring& path, const std::wstring& key);
// The decimal number after "key=" (a process id); 0 when there is none.
DWORD markerNumber(const std::wstring& path, const std::wstring& key);
// Waits until the marker holds line.
bool waitMarker(const std::wstring& path, const std::wstring& line, DWORD timeoutMs = 10000);
// A command line that runs fake_server.exe from the bin folder with args.
std::wstring fakeServer(const std::wstring& args);

// The stand-in servers of one test: each records into a marker file of its own in one folder, and
// endAll ends every process that a marker names (the server and a grandchild it started), so
// nothing outlives the test, whatever its outcome.
struct StandIns {
  TempFolder folder{L"standins"};
  std::wstring marker(const std::wstring& name) const { return folder.file(name + L".txt"); }
  // fake_server.exe recording into marker(name), with args.
  std::wstring command(const std::wstring& name, const std::wstring& args = L"") const;
  void endAll();
};

// The fixture of tests that start stand-in servers (through Launchers of their own); ends them all
// in TearDown.
struct StandInsTest : ::testing::Test {
  StandIns standIns;
  void TearDown() override { standIns.endAll(); }
};

// The fixture of tests that run wendlor.exe with stand-in servers; ends them all in TearDown.
struct LauncherTest : ::testing::Test {
  Launcher launcher;
  StandIns standIns;
  void TearDown() override;
};

// The Launcher with a stand-in for each server, recording into the markers "web" + tag and
// "db" + tag of a test's stand-ins.
struct StandInStack {
  Launcher launcher;
  StandIn web;
  StandIn db;
  HWND control = nullptr;
  HWND log = nullptr;
  // Starts the Launcher with config, its servers being the two stand-ins with these arguments,
  // and returns once both have started and the Journal says "Подождите..." (a gtest failure
  // otherwise: call it under ASSERT_NO_FATAL_FAILURE).
  void start(const StandIns& standIns, const std::wstring& tag, const std::wstring& webArgs, const std::wstring& dbArgs,
             LauncherConfig config = LauncherConfig());
  // Waits for the Launcher's end and tells whether its exit code was 0.
  bool exitsWithZero();
  // Sends message to the control window as the system would and waits for the answer (as long as
  // a stop at the session's end may take); false when none came.
  bool send(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* answer = nullptr);
  // The session's end as the system tells it: the query, then the end; false when either was not
  // answered.
  bool endSession(LPARAM reasons = ENDSESSION_LOGOFF) {
    return send(WM_QUERYENDSESSION, 0, reasons) && send(WM_ENDSESSION, TRUE, reasons);
  }
};

// The fixture of tests that run one such stack, tagged "", and end everything in TearDown.
struct StandInPairTest : ::testing::Test, StandInStack {
  StandIns standIns;
  void startBoth(const std::wstring& webArgs, const std::wstring& dbArgs, LauncherConfig config = LauncherConfig()) {
    start(standIns, L"", webArgs, dbArgs, config);
  }
  void TearDown() override;
};

}  // namespace e2e
