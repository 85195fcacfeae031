#include "orchestration/mysql_error_log.h"

#include <algorithm>
#include <cstddef>
#include <cwchar>
#include <vector>

#include "config/paths.h"
#include "process/output_capture.h"
#include "win/file_bytes.h"
#include "win/handles.h"
#include "win/text.h"

namespace {

// What the command line and the option files say, later values winning.
struct LogSettings {
  bool logErrorSet = false;
  std::wstring logError;  // empty with logErrorSet: the default name
  bool dataFolderSet = false;
  std::wstring dataFolder;
};

struct OptionScan {
  std::wstring serverFolder;  // relative include paths are opened from the server's own folder
  int filesRead = 0;
  LogSettings settings;
};

bool isSpace(wchar_t c) {
  return c == L' ' || c == L'\t';
}

std::wstring asciiLower(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return text;
}

// Option names compare with '-' and '_' alike and in any case; "loose-" only says an unknown
// option is no error.
std::wstring optionName(const std::wstring& name) {
  std::wstring key = asciiLower(TrimWide(name));
  std::replace(key.begin(), key.end(), L'_', L'-');
  if (key.compare(0, 6, L"loose-") == 0) key.erase(0, 6);
  return key;
}

bool hasExtension(const std::wstring& path) {
  size_t dot = path.find_last_of(L'.');
  size_t slash = path.find_last_of(L"\\/");
  return dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash);
}

// An option file's value: an end comment (a '#' outside quotes) dropped, surrounding quotes
// removed, and the server's backslash escapes applied; other backslashes stay, as in "C:\mysql".
std::wstring optionValue(const std::wstring& raw) {
  std::wstring text = raw;
  wchar_t quote = 0;
  bool escape = false;
  for (size_t i = 0; i < text.size(); ++i) {
    wchar_t c = text[i];
    if ((c == L'\'' || c == L'"') && !escape) {
      if (!quote) {
        quote = c;
      } else if (quote == c) {
        quote = 0;
      }
    } else if (!quote && c == L'#') {
      text.resize(i);
      break;
    }
    escape = quote && c == L'\\' && !escape;
  }
  text = TrimWide(text);
  if (text.size() >= 2 && (text[0] == L'"' || text[0] == L'\'') && text.back() == text[0]) {
    text = text.substr(1, text.size() - 2);
  }
  std::wstring value;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != L'\\' || i + 1 == text.size()) {
      value += text[i];
      continue;
    }
    wchar_t next = text[++i];
    switch (next) {
      case L'n':
        value += L'\n';
        break;
      case L't':
        value += L'\t';
        break;
      case L'r':
        value += L'\r';
        break;
      case L'b':
        value += L'\b';
        break;
      case L's':
        value += L' ';
        break;
      case L'"':
      case L'\'':
      case L'\\':
        value += next;
        break;
      default:
        value += L'\\';
        value += next;
    }
  }
  return value;
}

void readOptionFile(OptionScan& scan, const std::wstring& path, int depth);

void readOptionFolder(OptionScan& scan, const std::wstring& folder, int depth) {
  WIN32_FIND_DATAW found;
  if (folder.empty()) return;
  HANDLE search = FindFirstFileW(joinPath(folder, L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  std::vector<std::wstring> names;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    std::wstring name = found.cFileName;
    std::wstring lower = asciiLower(name);
    size_t size = lower.size();
    if (size > 4 && (lower.compare(size - 4, 4, L".cnf") == 0 || lower.compare(size - 4, 4, L".ini") == 0)) {
      // In name order, as a listing would give them; a few files, so a plain insertion.
      size_t at = 0;
      while (at < names.size() && asciiLower(names[at]) < lower) ++at;
      names.insert(names.begin() + static_cast<std::ptrdiff_t>(at), name);
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
  for (const std::wstring& name : names) readOptionFile(scan, joinPath(folder, name), depth + 1);
}

// Whether line is the directive (followed by a blank) and, if so, its argument.
bool directive(const std::wstring& line, const wchar_t* name, std::wstring* argument) {
  size_t length = wcslen(name);
  if (line.size() <= length || asciiLower(line.substr(0, length)) != name || !isSpace(line[length])) return false;
  *argument = TrimWide(line.substr(length));
  return true;
}

void readOptionFile(OptionScan& scan, const std::wstring& path, int depth) {
  if (path.empty() || depth > kOptionIncludeDepth || scan.filesRead >= kOptionFilesRead) return;
  HANDLE file = openSharedFile(path, GENERIC_READ);
  if (!file) return;
  ++scan.filesRead;
  std::string bytes = readFileBytes(file, 0, kOptionFileReadBytes);
  closeHandle(file);
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
  std::wstring text = decodeJudged(bytes, false);

  bool inServerSection = false;  // options before any section belong to none
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(L'\n', at);
    if (end == std::wstring::npos) end = text.size();
    std::wstring line = TrimWide(text.substr(at, end - at));
    at = end + 1;
    if (line.empty() || line[0] == L'#' || line[0] == L';') continue;
    std::wstring argument;
    if (directive(line, L"!includedir", &argument)) {
      readOptionFolder(scan, absoluteIn(scan.serverFolder, argument), depth);
    } else if (directive(line, L"!include", &argument)) {
      readOptionFile(scan, absoluteIn(scan.serverFolder, argument), depth + 1);
    } else if (line[0] == L'[') {
      size_t close = line.find(L']');
      std::wstring section = asciiLower(TrimWide(line.substr(1, close == std::wstring::npos ? 0 : close - 1)));
      inServerSection = section == L"mysqld" || section == L"server" || section == L"mariadb";
    } else if (inServerSection) {
      size_t equals = line.find(L'=');
      std::wstring key = optionName(line.substr(0, equals));
      std::wstring value = equals == std::wstring::npos ? std::wstring() : optionValue(line.substr(equals + 1));
      if (key == L"log-error") {
        scan.settings.logErrorSet = true;
        scan.settings.logError = value;
      } else if (key == L"datadir" && !value.empty()) {
        scan.settings.dataFolderSet = true;
        scan.settings.dataFolder = value;
      }
    }
  }
}

std::wstring dnsHostName() {
  DWORD size = 0;
  GetComputerNameExW(ComputerNameDnsHostname, nullptr, &size);
  if (size == 0) return std::wstring();
  std::wstring name(size, L'\0');
  if (!GetComputerNameExW(ComputerNameDnsHostname, &name[0], &size)) return std::wstring();
  name.resize(size);
  return name;
}

std::wstring windowsFolder() {
  wchar_t folder[MAX_PATH + 1];
  UINT length = GetWindowsDirectoryW(folder, MAX_PATH + 1);
  return length == 0 || length > MAX_PATH ? std::wstring() : std::wstring(folder, length);
}

}  // namespace

std::wstring FindMysqlErrorLog(const std::wstring& commandLine, const std::wstring& program,
                               const std::wstring& serverFolder, bool* consoleOnly) {
  *consoleOnly = false;
  std::vector<std::wstring> words = commandLineWords(commandLine);
  std::wstring baseFolder = isAbsolutePath(program) ? folderOfPath(folderOfPath(program)) : std::wstring();

  LogSettings given;
  std::wstring defaultsFile;
  std::wstring extraFile;
  bool noDefaults = false;
  for (size_t i = 1; i < words.size(); ++i) {
    const std::wstring& word = words[i];
    if (word.compare(0, 2, L"--") != 0) continue;
    size_t equals = word.find(L'=');
    std::wstring name = optionName(word.substr(2, equals == std::wstring::npos ? std::wstring::npos : equals - 2));
    bool hasValue = equals != std::wstring::npos;
    std::wstring value = hasValue ? word.substr(equals + 1) : std::wstring();
    if (name == L"console") {
      *consoleOnly = true;
    } else if (name == L"log-error") {
      given.logErrorSet = true;
      given.logError = value;
    } else if (name == L"datadir") {
      // Its value is required, so it may also be the next word.
      if (!hasValue && i + 1 < words.size()) value = words[++i];
      given.dataFolderSet = !value.empty();
      given.dataFolder = value;
    } else if (name == L"defaults-file") {
      defaultsFile = value;
    } else if (name == L"defaults-extra-file") {
      extraFile = value;
    } else if (name == L"no-defaults") {
      noDefaults = true;
    }
  }
  if (*consoleOnly) return std::wstring();

  OptionScan scan;
  scan.serverFolder = serverFolder;
  if (noDefaults) {
    // The server reads no option file at all.
  } else if (!defaultsFile.empty()) {
    readOptionFile(scan, absoluteIn(serverFolder, defaultsFile), 0);
  } else {
    std::vector<std::wstring> folders;
    std::wstring windows = windowsFolder();
    if (!windows.empty()) folders.push_back(windows);
    folders.push_back(L"C:");
    if (!baseFolder.empty()) {
      folders.push_back(baseFolder);
      folders.push_back(joinPath(baseFolder, L"data"));
    }
    for (const std::wstring& folder : folders) {
      readOptionFile(scan, joinPath(folder, L"my.ini"), 0);
      readOptionFile(scan, joinPath(folder, L"my.cnf"), 0);
    }
    if (!extraFile.empty()) readOptionFile(scan, absoluteIn(serverFolder, extraFile), 0);
  }
  LogSettings settings = scan.settings;
  if (given.logErrorSet) {
    settings.logErrorSet = true;
    settings.logError = given.logError;
  }
  if (given.dataFolderSet) settings.dataFolder = given.dataFolder;

  std::wstring dataFolder;
  if (!settings.dataFolder.empty()) {
    dataFolder = absoluteIn(serverFolder, settings.dataFolder);
  } else if (!baseFolder.empty()) {
    dataFolder = joinPath(baseFolder, L"data");
  }
  std::wstring name = TrimWide(settings.logError);
  if (name.empty()) {
    std::wstring host = dnsHostName();
    if (host.empty()) return std::wstring();
    name = host + L".err";
  } else if (!hasExtension(name)) {
    name += L".err";
  }
  return fullPathOf(absoluteIn(dataFolder, name));
}
