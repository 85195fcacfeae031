#pragma once

// Driving a real program from a benchmark: its files, its windows and its Journal, read from
// outside. (The tests have fuller helpers, but they are bound to GoogleTest.)

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

// The folder of this benchmark, where wendlor.exe and the fixtures are built; no trailing '\'.
inline std::wstring binFolder() {
  wchar_t self[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self, length);
  return path.substr(0, path.find_last_of(L'\\'));
}

inline std::wstring quoted(const std::wstring& path) {
  return L"\"" + path + L"\"";
}

inline std::string toUtf8(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

inline bool writeFile(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

// The whole file; empty when it cannot be read. Reads to the end, so files that report no size
// (the host's /proc under Wine) come whole too.
inline std::string readFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string bytes;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
  CloseHandle(file);
  return bytes;
}

// The top-level window of that class that belongs to process pid; null when there is none.
inline HWND findTopLevel(DWORD pid, const wchar_t* className) {
  HWND window = nullptr;
  while ((window = FindWindowExW(nullptr, window, className, nullptr)) != nullptr) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == pid) return window;
  }
  return nullptr;
}

inline BOOL CALLBACK findRichEdit(HWND child, LPARAM found) {
  wchar_t name[64];
  int length = GetClassNameW(child, name, 64);
  // Wine names the class RichEdit50W, Windows RICHEDIT50W.
  if (CompareStringOrdinal(name, length, L"RICHEDIT50W", -1, TRUE) != CSTR_EQUAL &&
      CompareStringOrdinal(name, length, L"RichEdit20W", -1, TRUE) != CSTR_EQUAL) {
    return TRUE;
  }
  *reinterpret_cast<HWND*>(found) = child;
  return FALSE;
}

// The text of the rich edit inside a top-level window, read across processes; empty when none.
inline std::wstring richEditText(HWND window) {
  HWND edit = nullptr;
  if (window) EnumChildWindows(window, findRichEdit, reinterpret_cast<LPARAM>(&edit));
  if (!edit) return std::wstring();
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(edit, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return std::wstring();
  std::vector<wchar_t> text(length + 1);
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(edit, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 5000,
                           &copied)) {
    return std::wstring();
  }
  return std::wstring(text.data(), copied);
}

// The number after "pid=" in a fake_server marker file; 0 when there is none yet.
inline DWORD markerPid(const std::wstring& path) {
  std::string text = readFile(path);
  std::size_t at = text.find("pid=");
  return at == std::string::npos ? 0 : std::strtoul(text.c_str() + at + 4, nullptr, 10);
}

// A stand-in has its Ctrl+C handler once it has marked "started".
inline bool markerStarted(const std::wstring& path) {
  return readFile(path).find("started\r\n") != std::string::npos;
}

inline void endIfRunning(DWORD pid) {
  if (pid == 0) return;
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
  if (!process) return;
  if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 5000);
  }
  CloseHandle(process);
}

// The stand-ins the two markers name: the web server is only sent a Ctrl+C, so each gets up to
// 5 s to go before it is ended.
inline void endStandIns(const std::wstring& databaseMarker, const std::wstring& webMarker) {
  for (const std::wstring& marker : {databaseMarker, webMarker}) {
    DWORD pid = markerPid(marker);
    HANDLE server = pid ? OpenProcess(SYNCHRONIZE, FALSE, pid) : nullptr;
    if (server) {
      WaitForSingleObject(server, 5000);
      CloseHandle(server);
    }
    endIfRunning(pid);
  }
}

// The rich edit inside a top-level window; null when there is none.
inline HWND richEditOf(HWND window) {
  HWND edit = nullptr;
  if (window) EnumChildWindows(window, findRichEdit, reinterpret_cast<LPARAM>(&edit));
  return edit;
}

// The text of a rich edit of another process in one WM_GETTEXT into a buffer kept by the caller:
// asking for the length first can miss a line written between the two messages.
inline bool readRichEditOnce(HWND edit, std::vector<wchar_t>& buffer, std::wstring& text) {
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(edit, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG,
                           5000, &copied)) {
    return false;
  }
  text.assign(buffer.data(), copied);
  return true;
}
