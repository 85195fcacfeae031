#pragma once

// Helpers for tests that drive real programs from outside: temporary program folders, the
// real wendlor.exe started in them, windows found by class and process, Journal text read.

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/control_window.h"
#include "config/launcher_config.h"
#include "tests/support/journal_reader.h"

namespace e2e {

// The one deadline of the tests that wait on another program: far above what any wait takes
// alone, so that a loaded machine does not fail a test.
constexpr DWORD kTimeoutMs = 20000;

// Polls pred every pollMs until it holds or timeoutMs have passed; the last answer of pred.
bool waitFor(const std::function<bool()>& pred, DWORD timeoutMs, DWORD pollMs = 20);

std::string toUtf8(const std::wstring& text);
std::wstring fromUtf8(const std::string& text);
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
// Ends the process with this id if it still runs (a server a test left behind) and waits for it.
void endProcess(DWORD pid);

// The wendlor.ini text that gives exactly these settings: every key the Launcher reads, written
// from its own record, so a test cannot misspell one.
std::string settingsFile(const LauncherConfig& config);

// wendlor.exe copied into a program folder of its own, with its wendlor.ini.
struct Launcher {
  TempFolder folder{L"wendlor"};
  Process process;
  std::wstring exePath() const { return folder.file(L"wendlor.exe"); }
  // Copies wendlor.exe into the folder and writes the ini (raw bytes) when given.
  bool prepare(const std::string* iniBytes);
  bool prepare(const std::string& iniBytes) { return prepare(&iniBytes); }
  bool prepare(const LauncherConfig& config) { return prepare(settingsFile(config)); }
  // Starts it; currentFolder empty = the program folder.
  bool start(const std::wstring& currentFolder = L"", const Environment& extra = {});
  HWND controlWindow(DWORD timeoutMs = 10000);
  HWND logWindow(DWORD timeoutMs = 10000);
  HWND journalEdit(DWORD timeoutMs = 10000);
  std::wstring journal();  // the rich edit's whole text, CR LF kept
  // The Journal's entries with their colours.
  std::vector<JournalEntry> entries();
  // Waits until the Journal holds needle; false at the deadline.
  bool waitJournal(const std::wstring& needle, DWORD timeoutMs = 10000);
  // Posts command to the control window and expects the program to end with exit code 0 (a
  // gtest failure otherwise).
  void quitAndExpectZero(UINT command = IDM_STOP_AND_EXIT);
  // The first message box (#32770) of the process, null when none appears in time.
  HWND messageBox(DWORD timeoutMs);
  bool waitExit(DWORD timeoutMs, DWORD* code) { return process.waitExit(timeoutMs, code); }
};

std::wstring messageBoxText(HWND dialog);

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

}  // namespace e2e
