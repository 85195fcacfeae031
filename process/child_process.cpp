#include "process/child_process.h"

#include <vector>

#include "config/support_contacts.h"
#include "process/output_capture.h"
#include "process/server_job.h"
#include "win/handles.h"
#include "win/process_image.h"
#include "win/system_error.h"

namespace {

// While attached to a server's console, its close and Ctrl+Break events reach the Launcher too,
// and "ignore Ctrl+C" covers neither.
BOOL WINAPI swallowConsoleEvents(DWORD event) {
  return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT;
}

// Attaching may replace a GUI process's standard handles with the console's, which die with the
// detach; a server started later must not be given those.
struct StandardHandles {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  void restore() const {
    if (GetStdHandle(STD_INPUT_HANDLE) != input) SetStdHandle(STD_INPUT_HANDLE, input);
    if (GetStdHandle(STD_OUTPUT_HANDLE) != output) SetStdHandle(STD_OUTPUT_HANDLE, output);
    if (GetStdHandle(STD_ERROR_HANDLE) != error) SetStdHandle(STD_ERROR_HANDLE, error);
  }
};

// Appends one pipe's waiting bytes to stream, reading only what a peek reports, so it never blocks.
void readWaitingBytes(HANDLE pipe, DrainStream& stream) {
  if (!pipe) return;
  DWORD available = 0;
  if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) || available == 0) return;
  std::vector<char> buffer(available);
  DWORD got = 0;
  if (!ReadFile(pipe, buffer.data(), available, &got, nullptr)) return;
  appendBounded(stream, buffer.data(), got);
}

// Once the child has ended its pipes break and the readers end; this gives them the moment it
// takes to move the last bytes, at most kOutputSettleMs (a grandchild may hold the pipes).
void settleReaders(HANDLE process, const HANDLE readers[2]) {
  if (!process || WaitForSingleObject(process, 0) != WAIT_OBJECT_0) return;
  HANDLE running[2];
  DWORD count = 0;
  for (int i = 0; i < 2; ++i) {
    if (readers[i]) running[count++] = readers[i];
  }
  if (count) WaitForMultipleObjects(count, running, TRUE, kOutputSettleMs);
}

// The handles a child may inherit, for an extended start-up info: with such a list the child gets
// these and nothing else of the Launcher's inheritable handles.
struct InheritanceList {
  std::vector<HANDLE> handles;
  std::vector<char> storage;
  LPPROC_THREAD_ATTRIBUTE_LIST attributes = nullptr;

  InheritanceList() = default;
  ~InheritanceList() {
    if (attributes) DeleteProcThreadAttributeList(attributes);
  }
  InheritanceList(const InheritanceList&) = delete;
  InheritanceList& operator=(const InheritanceList&) = delete;

  // False with the system's error when the list could not be made.
  bool build() {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    if (size == 0) return false;
    storage.assign(size, '\0');
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) return false;
    attributes = list;
    return UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles.data(),
                                     handles.size() * sizeof(HANDLE), nullptr, nullptr) != FALSE;
  }
};

bool isFile(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// path with "." and ".." resolved; path itself when that fails.
std::wstring fullPathOf(const std::wstring& path) {
  DWORD length = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (length == 0) return path;
  std::vector<wchar_t> full(length, L'\0');
  length = GetFullPathNameW(path.c_str(), length, full.data(), nullptr);
  return length == 0 || length >= full.size() ? path : std::wstring(full.data(), length);
}

// One name of a command line looked for as CreateProcessW looks for it, firstFolder first.
std::wstring searchProgram(std::wstring name, const std::wstring& firstFolder) {
  if (name.empty()) return std::wstring();
  size_t dot = name.find_last_of(L'.');
  size_t slash = name.find_last_of(L"\\/");
  if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) name += L".exe";
  bool rooted = name[0] == L'\\' || name[0] == L'/' || (name.size() >= 2 && name[1] == L':');
  if (rooted) return isFile(name) ? fullPathOf(name) : std::wstring();
  if (!firstFolder.empty()) {
    bool separated = firstFolder.back() == L'\\' || firstFolder.back() == L'/';
    std::wstring inFirst = firstFolder + (separated ? L"" : L"\\") + name;
    if (isFile(inFirst)) return fullPathOf(inFirst);
  }
  DWORD length = SearchPathW(nullptr, name.c_str(), nullptr, 0, nullptr, nullptr);
  if (length == 0) return std::wstring();
  std::vector<wchar_t> found(length, L'\0');
  length = SearchPathW(nullptr, name.c_str(), nullptr, length, found.data(), nullptr);
  return length == 0 || length >= found.size() ? std::wstring() : std::wstring(found.data(), length);
}

}  // namespace

std::wstring startedProgramPath(const std::wstring& commandLine, const std::wstring& firstFolder) {
  size_t at = commandLine.find_first_not_of(L" \t");
  if (at == std::wstring::npos) return std::wstring();
  if (commandLine[at] == L'"') {
    size_t close = commandLine.find(L'"', at + 1);
    return searchProgram(commandLine.substr(at + 1, close == std::wstring::npos ? close : close - at - 1), firstFolder);
  }
  for (size_t end = at;;) {
    end = commandLine.find_first_of(L" \t", end + 1);
    std::wstring found = searchProgram(commandLine.substr(at, end == std::wstring::npos ? end : end - at), firstFolder);
    if (!found.empty() || end == std::wstring::npos) return found;
  }
}

std::vector<HANDLE> inheritableStandardHandles(const std::vector<HANDLE>& candidates) {
  std::vector<HANDLE> chosen;
  for (HANDLE handle : candidates) {
    if (!handle || handle == INVALID_HANDLE_VALUE) continue;
    // Console handles of Windows 7 are not kernel handles (their low bits are set), and a list
    // that holds one makes CreateProcessW fail.
    if ((reinterpret_cast<UINT_PTR>(handle) & 3) == 3) continue;
    DWORD flags = 0;
    if (!GetHandleInformation(handle, &flags) || !(flags & HANDLE_FLAG_INHERIT)) continue;
    bool seen = false;
    for (HANDLE earlier : chosen) seen = seen || earlier == handle;
    if (!seen) chosen.push_back(handle);
  }
  return chosen;
}

std::wstring startFailureMessage(DWORD error, const std::wstring& commandLine, const std::wstring& folder) {
  std::wstring text = kStartFailureHeading;
  text += formatSystemError(error);
  text += L"\r\n\r\nКоманда:\r\n";
  text += commandLine;
  text += L"\r\n\r\nПапка запуска:\r\n";
  text += folder.empty() ? std::wstring(kInheritedFolderName) : folder;
  text += L"\r\n\r\nПожалуйста, обратитесь в Службу поддержки:\r\n";
  text += L" " + std::wstring(kSupportEmail) + L"\r\n";
  text += L" " + std::wstring(kSupportPhone) + L"\r\n";
  text += L" " + std::wstring(kSupportWebsite);
  return text;
}

ChildProcess::~ChildProcess() {
  close();
}

bool ChildProcess::start(const std::wstring& commandLine, const std::wstring& folder, bool hideWindow,
                         std::wstring* errorText, bool captureOutput, ServerJob* job) {
  close();
  output.clear();
  outputStreams[kStandardOutput] = outputStreams[kStandardError] = DrainStream();

  SECURITY_ATTRIBUTES pipeAttributes{};
  pipeAttributes.nLength = sizeof pipeAttributes;
  pipeAttributes.lpSecurityDescriptor = nullptr;
  pipeAttributes.bInheritHandle = TRUE;

  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup.StartupInfo;
  startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
  startup.StartupInfo.wShowWindow = hideWindow ? SW_HIDE : SW_SHOWDEFAULT;
  // A console without a window, captured or not: where the default terminal is Windows Terminal,
  // a new console's window opens there, ignores SW_HIDE and ends the server when closed.
  DWORD creationFlags = CREATE_NO_WINDOW | (job ? job->creationFlags() : 0);

  HANDLE stdoutWrite = nullptr;
  HANDLE stderrWrite = nullptr;
  InheritanceList inheritance;
  if (captureOutput) {
    if (!CreatePipe(&stdoutRead, &stdoutWrite, &pipeAttributes, 0)) {
      DWORD error = GetLastError();
      stdoutRead = nullptr;
      if (errorText) *errorText = L"Ошибка создания пайпа для stdout: " + formatSystemError(error);
      return false;
    }
    SetHandleInformation(stdoutRead, HANDLE_FLAG_INHERIT, 0);
    if (!CreatePipe(&stderrRead, &stderrWrite, &pipeAttributes, 0)) {
      DWORD error = GetLastError();
      stderrRead = nullptr;
      closeHandle(stdoutRead);
      closeHandle(stdoutWrite);
      if (errorText) *errorText = L"Ошибка создания пайпа для stderr: " + formatSystemError(error);
      return false;
    }
    SetHandleInformation(stderrRead, HANDLE_FLAG_INHERIT, 0);
    startup.StartupInfo.dwFlags |= STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdOutput = stdoutWrite;
    startup.StartupInfo.hStdError = stderrWrite;
    startup.StartupInfo.hStdInput = GetStdHandle(STD_INPUT_HANDLE);

    // The child inherits its standard handles and nothing else we hold.
    inheritance.handles = inheritableStandardHandles({stdoutWrite, stderrWrite, startup.StartupInfo.hStdInput});
    if (!inheritance.build()) {
      DWORD error = GetLastError();
      closeHandle(stdoutWrite);
      closeHandle(stderrWrite);
      if (errorText) *errorText = startFailureMessage(error, commandLine, folder);
      return false;
    }
    startup.StartupInfo.cb = sizeof startup;
    startup.lpAttributeList = inheritance.attributes;
    creationFlags |= EXTENDED_STARTUPINFO_PRESENT;
  }

  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(L'\0');
  PROCESS_INFORMATION info{};
  // "Ignore Ctrl+C" is inherited, and a Launcher started by start /b or in a new process group has
  // it: the servers must still end on the Ctrl+C that asks them to close their files.
  SetConsoleCtrlHandler(nullptr, FALSE);
  BOOL created = CreateProcessW(nullptr, line.data(), nullptr, nullptr, captureOutput ? TRUE : FALSE, creationFlags,
                                nullptr, folder.empty() ? nullptr : folder.c_str(), &startup.StartupInfo, &info);
  DWORD error = created ? 0 : GetLastError();
  // Only the child may hold the writing side now, or the pipes would never report its end.
  closeHandle(stdoutWrite);
  closeHandle(stderrWrite);
  if (!created) {
    if (errorText) *errorText = startFailureMessage(error, commandLine, folder);
    return false;
  }
  process = info.hProcess;
  thread = info.hThread;
  pid = info.dwProcessId;
  inJob = false;
  if (creationFlags & CREATE_SUSPENDED) {
    // Outside the job it still runs: only its tie to the Launcher's life is lost.
    inJob = job->adopt(process);
    ResumeThread(thread);
  }
  if (captureOutput) drain = startOutputDrain(stdoutRead, stderrRead, outputReaders);
  return true;
}

// Asked of the handle itself: a server may well end with exit code 259, which reads as
// STILL_ACTIVE.
bool ChildProcess::isRunning() const {
  return process && WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
}

DWORD ChildProcess::exitCode() const {
  DWORD code = 0;
  if (process && WaitForSingleObject(process, 0) == WAIT_OBJECT_0 && GetExitCodeProcess(process, &code)) return code;
  return STILL_ACTIVE;
}

bool ChildProcess::sendCtrlC() const {
  if (pid == 0 || (process && !isRunning())) return false;
  StandardHandles standard;
  if (!AttachConsole(pid)) {
    // Started by a console program, we may sit on its console (Wine does this even for a GUI
    // program); we have no use for it, and staying on it would keep the Ctrl+C from being sent.
    if (GetLastError() != ERROR_ACCESS_DENIED || !FreeConsole() || !AttachConsole(pid)) {
      standard.restore();
      return false;
    }
  }
  // The attach has just reset the handler table to the default one, which ends the process. Our
  // own copy of the event runs on a thread of its own, maybe only after the detach below: with
  // "ignore Ctrl+C" set it calls no handler at all, whenever it runs. The attribute stays set until
  // the next server start clears it for the server's sake.
  bool ignoring = SetConsoleCtrlHandler(nullptr, TRUE) != FALSE;
  bool guarded = SetConsoleCtrlHandler(swallowConsoleEvents, TRUE) != FALSE;
  bool sent = ignoring && guarded && GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != FALSE;
  FreeConsole();
  // Where the table survives the detach (Wine), the guard would pile up with each call.
  if (guarded) SetConsoleCtrlHandler(swallowConsoleEvents, FALSE);
  standard.restore();
  return sent;
}

void ChildProcess::terminate(DWORD code) const {
  if (process) TerminateProcess(process, code);
}

bool ChildProcess::imagePath(std::wstring* path) const {
  return processImagePath(process, path);
}

void ChildProcess::close() {
  // Readers of an ended child are finishing; letting them finish means no thread of ours is
  // still ending when the Launcher itself exits next, which Wine does not always survive.
  settleReaders(process, outputReaders);
  releaseOutputDrain(drain, outputReaders);
  closeHandle(thread);
  closeHandle(process);
  closeHandle(stdoutRead);
  closeHandle(stderrRead);
  pid = 0;
}

std::wstring ChildProcess::readOutput() {
  if (!drain) {
    readWaitingBytes(stdoutRead, outputStreams[kStandardOutput]);
    readWaitingBytes(stderrRead, outputStreams[kStandardError]);
  } else {
    settleReaders(process, outputReaders);
    DrainStream taken[2];
    takeDrainedOutput(drain, taken[kStandardOutput], taken[kStandardError]);
    keepTaken(outputStreams[kStandardOutput], taken[kStandardOutput]);
    keepTaken(outputStreams[kStandardError], taken[kStandardError]);
  }
  output = streamText(kStandardOutput) + streamText(kStandardError);
  return output;
}

std::wstring ChildProcess::streamText(int stream) const {
  return drainedText(outputStreams[stream]);
}
