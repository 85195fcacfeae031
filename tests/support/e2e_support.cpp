#include "tests/support/e2e_support.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>

namespace e2e {

bool waitFor(const std::function<bool()>& pred, DWORD timeoutMs, DWORD pollMs) {
  DWORD start = GetTickCount();
  for (;;) {
    if (pred()) return true;
    if (GetTickCount() - start >= timeoutMs) return pred();
    Sleep(pollMs);
  }
}

std::string toUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

std::wstring fromUtf8(const std::string& text) {
  if (text.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

std::wstring ansiText(const std::string& bytes) {
  if (bytes.empty()) return std::wstring();
  UINT codePage = GetACP();
  int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), &out[0], n);
  return out;
}

bool underWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::wstring quoted(const std::wstring& text) {
  return L"\"" + text + L"\"";
}

std::wstring binDir() {
  wchar_t buffer[4096];
  DWORD n = GetModuleFileNameW(nullptr, buffer, 4096);
  std::wstring path(buffer, n);
  return path.substr(0, path.find_last_of(L"\\/"));
}

std::wstring binPath(const std::wstring& exeName) {
  return binDir() + L"\\" + exeName;
}

bool writeFile(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

std::string readFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string bytes;
  char chunk[65536];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
  CloseHandle(file);
  return bytes;
}

bool fileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool removeTree(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring child = path + L"\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        removeTree(child);
      } else {
        SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  return RemoveDirectoryW(path.c_str()) != FALSE;
}

TempFolder::TempFolder(const std::wstring& tag) {
  static std::atomic<unsigned> counter{0};
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring base = temp;
  if (!base.empty() && base.back() == L'\\') base.pop_back();
  for (;;) {
    path = base + L"\\wendlor-test-" + tag + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(counter++) + L"-" + std::to_wstring(GetTickCount() % 100000);
    if (CreateDirectoryW(path.c_str(), nullptr)) break;
  }
}

TempFolder::~TempFolder() {
  // Programs started in the folder may take a moment to let go of their files.
  waitFor([&] { return removeTree(path) || !fileExists(path); }, 3000, 50);
}

Process::~Process() {
  kill();
  if (handle) CloseHandle(handle);
}

bool Process::start(const std::wstring& commandLine, const std::wstring& folder, const Environment& extra) {
  std::wstring block;
  if (!extra.empty()) {
    wchar_t* current = GetEnvironmentStringsW();
    for (const wchar_t* p = current; *p; p += wcslen(p) + 1) {
      std::wstring entry = p;
      bool replaced = false;
      for (const auto& kv : extra) {
        if (_wcsnicmp(entry.c_str(), (kv.first + L"=").c_str(), kv.first.size() + 1) == 0) replaced = true;
      }
      if (!replaced) block += entry + L'\0';
    }
    FreeEnvironmentStringsW(current);
    for (const auto& kv : extra) block += kv.first + L"=" + kv.second + L'\0';
    block += L'\0';
  }
  // Under Wine a new process that dies while its DLLs are still loading makes CreateProcessW fail,
  // and under load that happens now and then before any code of ours has run. Such a start is
  // tried again, loudly; a program that is not there is reported at once.
  DWORD flags = extra.empty() ? 0 : CREATE_UNICODE_ENVIRONMENT;
  PROCESS_INFORMATION pi{};
  for (int attempt = 1;; ++attempt) {
    std::wstring line = commandLine;
    line.push_back(L'\0');
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, inheritHandles ? TRUE : FALSE, flags,
                       extra.empty() ? nullptr : &block[0], folder.empty() ? nullptr : folder.c_str(), &si, &pi))
      break;
    DWORD error = GetLastError();
    fwprintf(stderr, L"CreateProcessW failed with error %lu (attempt %d): %ls\n", error, attempt, commandLine.c_str());
    if (attempt == 3 || error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_DIRECTORY)
      return false;
    Sleep(200);
  }
  CloseHandle(pi.hThread);
  handle = pi.hProcess;
  pid = pi.dwProcessId;
  return true;
}

bool Process::attach(DWORD processId) {
  if (handle || processId == 0) return false;
  handle = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, processId);
  if (handle) pid = processId;
  return handle != nullptr;
}

bool Process::running() const {
  return handle && WaitForSingleObject(handle, 0) == WAIT_TIMEOUT;
}

bool Process::waitExit(DWORD timeoutMs, DWORD* code) {
  if (!handle) return false;
  if (WaitForSingleObject(handle, timeoutMs) != WAIT_OBJECT_0) return false;
  if (code) GetExitCodeProcess(handle, code);
  return true;
}

void Process::kill() {
  if (running()) {
    TerminateProcess(handle, 99);
    WaitForSingleObject(handle, 5000);
  }
}

namespace {

struct EnumRequest {
  DWORD pid;
  std::vector<HWND>* windows;
};

BOOL CALLBACK collectWindow(HWND window, LPARAM param) {
  auto* request = reinterpret_cast<EnumRequest*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == request->pid) request->windows->push_back(window);
  return TRUE;
}

BOOL CALLBACK collectChild(HWND window, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
  return TRUE;
}

}  // namespace

std::vector<HWND> topLevelWindows(DWORD pid) {
  std::vector<HWND> windows;
  EnumRequest request{pid, &windows};
  EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&request));
  return windows;
}

std::wstring windowClass(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

HWND findTopLevelWindow(DWORD pid, const std::wstring& className) {
  for (HWND window : topLevelWindows(pid)) {
    if (_wcsicmp(windowClass(window).c_str(), className.c_str()) == 0) return window;
  }
  return nullptr;
}

HWND findChildWindow(HWND parent, const std::wstring& className) {
  std::vector<HWND> children;
  EnumChildWindows(parent, collectChild, reinterpret_cast<LPARAM>(&children));
  for (HWND child : children) {
    if (_wcsicmp(windowClass(child).c_str(), className.c_str()) == 0) return child;
  }
  return nullptr;
}

std::wstring windowText(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return std::wstring();
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG, 5000,
                      &copied);
  text.resize(copied);
  return text;
}

void endProcess(DWORD pid) {
  HANDLE process = pid ? OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid) : nullptr;
  if (!process) return;
  TerminateProcess(process, 99);
  WaitForSingleObject(process, 5000);
  CloseHandle(process);
}

bool isProcessAlive(DWORD pid) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (!process) return false;
  bool alive = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return alive;
}

bool shellHasIcon(HWND owner, UINT id) {
  NOTIFYICONDATAW probe{};
  probe.cbSize = sizeof probe;
  probe.hWnd = owner;
  probe.uID = id;
  probe.uFlags = NIF_TIP;
  lstrcpynW(probe.szTip, kTrayTip, ARRAYSIZE(probe.szTip));
  return Shell_NotifyIconW(NIM_MODIFY, &probe) != FALSE;
}

namespace {

constexpr wchar_t kHttpCommandKey[] = L"Software\\Classes\\http\\shell\\open\\command";

// The user's http handler as it was before the first engaged recorder of this test program.
struct SavedHandler {
  int users = 0;
  std::wstring createdKey;  // the outermost key we made, removed again; empty when all were there
  bool hadValue = false;
  DWORD type = REG_SZ;
  std::vector<BYTE> value;
};
SavedHandler gSavedHandler;

bool keyExists(const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

}  // namespace

void BrowserRecorder::engage() {
  if (!underWine()) engageHere();
}

void BrowserRecorder::engageHere() {
  if (engaged) return;
  engaged = true;
  SavedHandler& saved = gSavedHandler;
  if (saved.users++ > 0) return;
  saved = SavedHandler{1, L"", false, REG_SZ, {}};
  const std::wstring levels[] = {L"Software\\Classes\\http", L"Software\\Classes\\http\\shell",
                                 L"Software\\Classes\\http\\shell\\open", kHttpCommandKey};
  for (const std::wstring& level : levels) {
    if (!keyExists(level)) {
      saved.createdKey = level;
      break;
    }
  }
  if (saved.createdKey.empty()) {
    DWORD size = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, kHttpCommandKey, nullptr, RRF_RT_ANY | RRF_NOEXPAND, &saved.type, nullptr,
                     &size) == ERROR_SUCCESS) {
      saved.value.resize(size);
      saved.hadValue = RegGetValueW(HKEY_CURRENT_USER, kHttpCommandKey, nullptr, RRF_RT_ANY | RRF_NOEXPAND, &saved.type,
                                    saved.value.data(), &size) == ERROR_SUCCESS;
      saved.value.resize(size);
    }
  }
  std::wstring command = quoted(binPath(L"url_recorder.exe")) + L" \"%1\"";
  RegSetKeyValueW(HKEY_CURRENT_USER, kHttpCommandKey, nullptr, REG_SZ, command.c_str(),
                  static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
}

void BrowserRecorder::release() {
  if (!engaged) return;
  engaged = false;
  SavedHandler& saved = gSavedHandler;
  if (--saved.users > 0) return;
  if (!saved.createdKey.empty()) {
    RegDeleteTreeW(HKEY_CURRENT_USER, saved.createdKey.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, saved.createdKey.c_str());
  } else if (saved.hadValue) {
    RegSetKeyValueW(HKEY_CURRENT_USER, kHttpCommandKey, nullptr, saved.type, saved.value.data(),
                    static_cast<DWORD>(saved.value.size()));
  } else {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kHttpCommandKey, nullptr);
  }
}

bool browserIsRecorded(std::string* why) {
  if (underWine()) return true;  // the test prefix registers it for the whole machine
  wchar_t command[2048] = {};
  DWORD size = ARRAYSIZE(command);
  if (FAILED(AssocQueryStringW(ASSOCF_NONE, ASSOCSTR_COMMAND, L"http", L"open", command, &size))) {
    if (why) *why = "the shell names no program for http addresses here";
    return false;
  }
  if (StrStrIW(command, L"url_recorder.exe")) return true;
  // A browser the user chose in the system's settings comes before any per-user handler.
  if (why) *why = "http addresses go to the user's chosen browser here: " + toUtf8(command);
  return false;
}

bool Launcher::prepare(const std::string* iniBytes) {
  if (!CopyFileW(binPath(L"wendlor.exe").c_str(), exePath().c_str(), FALSE)) return false;
  return !iniBytes || writeFile(programPath() + L"\\" + kConfigFileName, *iniBytes);
}

bool Launcher::start(const std::wstring& currentFolder, const Environment& extra) {
  browser.engage();
  return process.start(quoted(exePath()), currentFolder.empty() ? programPath() : currentFolder, extra);
}

bool Launcher::startCopyOf(const Launcher& first, const Environment& extra) {
  programFolder = first.programPath();
  return start(L"", extra);
}

HWND Launcher::controlWindow(DWORD timeoutMs) {
  HWND window = nullptr;
  waitFor([&] { return (window = findTopLevelWindow(process.pid, L"WendlorStarterWindowClass")) != nullptr; },
          timeoutMs);
  return window;
}

bool Launcher::tick() {
  HWND control = controlWindow();
  DWORD_PTR result = 0;
  return control && SendMessageTimeoutW(control, WM_TIMER, TIMER_SUPERVISE, 0, SMTO_NORMAL, kTimeoutMs, &result) != 0;
}

size_t countEntries(const std::vector<JournalEntry>& entries, const std::wstring& text) {
  size_t n = 0;
  for (const JournalEntry& entry : entries) n += entry.text == text ? 1 : 0;
  return n;
}

HWND Launcher::logWindow(DWORD timeoutMs) {
  HWND window = nullptr;
  waitFor([&] { return (window = findTopLevelWindow(process.pid, L"WendlorLogWindow")) != nullptr; }, timeoutMs);
  return window;
}

HWND Launcher::journalEdit(DWORD timeoutMs) {
  HWND edit = nullptr;
  waitFor(
      [&] {
        HWND log = findTopLevelWindow(process.pid, L"WendlorLogWindow");
        if (!log) return false;
        edit = findChildWindow(log, L"RICHEDIT50W");
        if (!edit) edit = findChildWindow(log, L"RichEdit20W");
        return edit != nullptr;
      },
      timeoutMs);
  return edit;
}

std::wstring Launcher::journal() {
  HWND edit = journalEdit(0);
  return edit ? windowText(edit) : std::wstring();
}

std::vector<JournalEntry> Launcher::entries() {
  return readJournal(journalEdit(0));
}

void Launcher::quitAndExpectZero(UINT command) {
  HWND control = controlWindow();
  ASSERT_NE(control, nullptr) << "no control window";
  ASSERT_TRUE(PostMessageW(control, WM_COMMAND, command, 0));
  expectExitZero();
}

void Launcher::expectExitZero() {
  DWORD code = 12345;
  ASSERT_TRUE(waitExit(kTimeoutMs, &code)) << "the Launcher did not end";
  EXPECT_EQ(code, 0u);
}

bool Launcher::waitJournal(const std::wstring& needle, DWORD timeoutMs) {
  return waitFor([&] { return journal().find(needle) != std::wstring::npos; }, timeoutMs, 50);
}

HWND Launcher::messageBox(DWORD timeoutMs) {
  HWND box = nullptr;
  waitFor([&] { return (box = findTopLevelWindow(process.pid, L"#32770")) != nullptr; }, timeoutMs);
  return box;
}

std::wstring messageBoxText(HWND dialog) {
  HWND text = GetDlgItem(dialog, 0xFFFF);
  return text ? windowText(text) : std::wstring();
}

bool answersWithin(HWND window, DWORD timeoutMs) {
  DWORD_PTR length = 0;
  return SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, timeoutMs, &length) != 0;
}

std::wstring StandIn::command(const std::wstring& args) const {
  return fakeServer(L"--marker " + quoted(marker) + (args.empty() ? L"" : L" " + args));
}

bool StandIn::has(const std::wstring& line) const {
  return markerHas(marker, line);
}

bool StandIn::waitFor(const std::wstring& line) const {
  return waitMarker(marker, line, kTimeoutMs);
}

bool StandIn::attach() {
  return waitFor(L"started") && process.attach(markerNumber(marker, L"pid"));
}

DWORD StandIn::exitCode() {
  DWORD code = 12345;
  process.waitExit(0, &code);
  return code;
}

ULONGLONG StandIn::exitTime() const {
  FILETIME created, exited, kernel, user;
  if (!process.handle || process.running() || !GetProcessTimes(process.handle, &created, &exited, &kernel, &user))
    return 0;
  return (static_cast<ULONGLONG>(exited.dwHighDateTime) << 32) | exited.dwLowDateTime;
}

SubstStandIn::SubstStandIn(const std::wstring& subfolder) {
  path = subfolder.empty() ? folder.path : folder.file(subfolder);
  if (!subfolder.empty()) CreateDirectoryW(path.c_str(), nullptr);
  log = folder.file(L"subst-calls.txt");
}

Environment SubstStandIn::environment(const wchar_t* exitCode) const {
  return {{L"WENDLOR_TEST_SUBST_LOG", log}, {L"WENDLOR_TEST_SUBST_EXIT", exitCode}};
}

bool SubstStandIn::recording(std::string* why) {
  wchar_t system[MAX_PATH];
  UINT length = GetSystemDirectoryW(system, MAX_PATH);
  std::string installed = length ? readFile(std::wstring(system, length) + L"\\subst.exe") : std::string();
  if (!installed.empty() && installed == readFile(binPath(L"fake_subst.exe"))) return true;
  if (why) *why = "the system's subst.exe is the real one here, which records nothing";
  return false;
}

std::wstring SubstStandIn::calls() const {
  return fromUtf8(readFile(log));
}

std::string settingsFile(const LauncherConfig& config) {
  auto flag = [](bool on) { return std::wstring(on ? L"1" : L"0"); };
  std::wstring text = L"[wendlor]\r\n";
  text += L"WebServer=" + config.webServer + L"\r\n";
  text += L"WorkingDirectory=" + config.workingDirectory + L"\r\n";
  text += L"WebServerDirectory=" + config.webServerDirectory + L"\r\n";
  text += L"MysqlServer=" + config.mysqlServer + L"\r\n";
  text += L"MysqlServerDirectory=" + config.mysqlServerDirectory + L"\r\n";
  text += L"StartHidden=" + flag(config.startHidden) + L"\r\n";
  text += L"SingleInstance=" + flag(config.singleInstance) + L"\r\n";
  text += L"NoTerminate=" + flag(config.noTerminate) + L"\r\n";
  text += L"CheckIntervalMs=" + std::to_wstring(config.checkIntervalMs) + L"\r\n";
  text += L"SubstDrive=" + config.substDrive + L"\r\n";
  text += L"OpenBrowser=" + flag(config.openBrowser) + L"\r\n";
  return toUtf8(text);
}

bool PortListener::start(unsigned port, std::string* why, const std::wstring& moreArgs) {
  std::wstring args = L"--marker " + quoted(marker()) + L" --listen " + std::to_wstring(port);
  if (!moreArgs.empty()) args += L" " + moreArgs;
  if (!process.start(fakeServer(args))) {
    if (why) *why = "fake_server.exe did not start";
    return false;
  }
  std::wstring failed;
  bool answered = waitFor(
      [&] {
        failed = markerValue(marker(), L"listen-failed");
        return !failed.empty() || !markerValue(marker(), L"listening").empty();
      },
      kTimeoutMs);
  if (answered && failed.empty()) return true;
  if (why) {
    *why = answered ? "port " + std::to_string(port) + " cannot be bound here (" + toUtf8(failed) + ")"
                    : "the listener never said whether it listens";
  }
  process.kill();
  return false;
}

}  // namespace e2e

namespace e2e {

std::vector<std::wstring> markerLines(const std::wstring& path) {
  std::vector<std::wstring> lines;
  std::string bytes = readFile(path);
  size_t begin = 0;
  while (begin < bytes.size()) {
    size_t end = bytes.find('\n', begin);
    if (end == std::string::npos) break;  // a line still being written
    std::string line = bytes.substr(begin, end - begin);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(fromUtf8(line));
    begin = end + 1;
  }
  return lines;
}

bool markerHas(const std::wstring& path, const std::wstring& line) {
  for (const std::wstring& each : markerLines(path)) {
    if (each == line) return true;
  }
  return false;
}

std::wstring markerValue(const std::wstring& path, const std::wstring& key) {
  for (const std::wstring& each : markerLines(path)) {
    if (each.compare(0, key.size() + 1, key + L"=") == 0) return each.substr(key.size() + 1);
  }
  return std::wstring();
}

bool waitMarker(const std::wstring& path, const std::wstring& line, DWORD timeoutMs) {
  return waitFor([&] { return markerHas(path, line); }, timeoutMs, 20);
}

DWORD markerNumber(const std::wstring& path, const std::wstring& key) {
  return static_cast<DWORD>(wcstoul(markerValue(path, key).c_str(), nullptr, 10));
}

std::wstring fakeServer(const std::wstring& args) {
  return quoted(binPath(L"fake_server.exe")) + L" " + args;
}

std::wstring StandIns::command(const std::wstring& name, const std::wstring& args) const {
  return fakeServer(L"--marker " + quoted(marker(name)) + (args.empty() ? L"" : L" " + args));
}

void StandIns::endAll() {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(folder.file(L"*.txt").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    // Every start a marker records: a restarted server has written one line per start.
    for (const std::wstring& line : markerLines(folder.file(data.cFileName))) {
      for (const std::wstring key : {L"pid=", L"grandchild="}) {
        if (line.compare(0, key.size(), key) == 0) endProcess(wcstoul(line.c_str() + key.size(), nullptr, 10));
      }
    }
  } while (FindNextFileW(find, &data));
  FindClose(find);
}

void LauncherTest::TearDown() {
  launcher.process.kill();
  standIns.endAll();
}

void StandInStack::start(const StandIns& standIns, const std::wstring& tag, const std::wstring& webArgs,
                         const std::wstring& dbArgs, LauncherConfig config) {
  web.marker = standIns.marker(L"web" + tag);
  db.marker = standIns.marker(L"db" + tag);
  config.webServer = standIns.command(L"web" + tag, webArgs);
  config.mysqlServer = standIns.command(L"db" + tag, dbArgs);
  ASSERT_TRUE(launcher.prepare(config));
  ASSERT_TRUE(launcher.start());
  ASSERT_TRUE(web.attach());
  ASSERT_TRUE(db.attach());
  control = launcher.controlWindow();
  ASSERT_NE(nullptr, control);
  log = launcher.logWindow();
  ASSERT_NE(nullptr, log);
  ASSERT_TRUE(launcher.waitJournal(L"Подождите...", kTimeoutMs));
}

bool StandInStack::exitsWithZero() {
  DWORD code = 99;
  return launcher.waitExit(kTimeoutMs, &code) && code == 0;
}

bool StandInStack::send(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* answer) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(control, message, wParam, lParam, SMTO_BLOCK, 3 * kTimeoutMs, &result)) return false;
  if (answer) *answer = static_cast<LRESULT>(result);
  return true;
}

void StandInPairTest::TearDown() {
  launcher.process.kill();
  standIns.endAll();
}

}  // namespace e2e
