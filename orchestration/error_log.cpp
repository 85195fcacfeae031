#include "orchestration/error_log.h"

#include <cwchar>

#include "config/paths.h"
#include "orchestration/server.h"
#include "process/output_capture.h"
#include "win/file_bytes.h"
#include "win/handles.h"

namespace {

bool isSpace(wchar_t c) {
  return c == L' ' || c == L'\t';
}

struct FileState {
  ULONGLONG size = 0;
  DWORD volume = 0;
  ULONGLONG fileIndex = 0;
};

bool fileState(HANDLE file, FileState* state) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) return false;
  state->size = (static_cast<ULONGLONG>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  state->volume = info.dwVolumeSerialNumber;
  state->fileIndex = (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

// Size and identity without read access: a server that keeps its log from readers does not keep
// it from this.
bool pathState(const std::wstring& path, FileState* state) {
  HANDLE file = openSharedFile(path, FILE_READ_ATTRIBUTES);
  if (!file) return false;
  bool known = fileState(file, state);
  closeHandle(file);
  return known;
}

std::wstring notFound(const std::wstring& title) {
  return title + L" не найден.";
}

std::wstring unchanged(const std::wstring& title, const std::wstring& path) {
  return title + L" (" + path + L") не изменился с момента запуска.";
}

}  // namespace

std::vector<std::wstring> commandLineWords(const std::wstring& line) {
  std::vector<std::wstring> words;
  size_t at = 0;
  size_t size = line.size();
  while (at < size && isSpace(line[at])) ++at;
  std::wstring program;
  if (at < size && line[at] == L'"') {
    size_t close = line.find(L'"', at + 1);
    program = line.substr(at + 1, close == std::wstring::npos ? std::wstring::npos : close - at - 1);
    at = close == std::wstring::npos ? size : close + 1;
  } else {
    while (at < size && !isSpace(line[at])) program += line[at++];
  }
  words.push_back(program);
  for (;;) {
    while (at < size && isSpace(line[at])) ++at;
    if (at >= size) break;
    std::wstring word;
    bool quoted = false;
    while (at < size && (quoted || !isSpace(line[at]))) {
      size_t slashes = 0;
      while (at < size && line[at] == L'\\') {
        ++slashes;
        ++at;
      }
      if (at < size && line[at] == L'"') {
        word.append(slashes / 2, L'\\');
        if (slashes % 2) {
          word += L'"';
        } else if (quoted && at + 1 < size && line[at + 1] == L'"') {
          word += L'"';
          ++at;
        } else {
          quoted = !quoted;
        }
        ++at;
      } else {
        word.append(slashes, L'\\');
        if (at < size && (quoted || !isSpace(line[at]))) word += line[at++];
      }
    }
    words.push_back(word);
  }
  return words;
}

std::wstring folderOfPath(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return std::wstring();
  if (slash == 2 && path[1] == L':') return path.substr(0, 3);  // "C:\"
  return path.substr(0, slash);
}

bool isAbsolutePath(const std::wstring& path) {
  return path.size() >= 3 &&
         ((path[1] == L':' && (path[2] == L'\\' || path[2] == L'/')) || (path[0] == L'\\' && path[1] == L'\\'));
}

std::wstring absoluteIn(const std::wstring& base, const std::wstring& path) {
  std::wstring resolved = ResolvePath(base, path);
  if (!resolved.empty() && !isAbsolutePath(resolved) && (resolved[0] == L'\\' || resolved[0] == L'/') &&
      base.size() >= 2 && base[1] == L':') {
    resolved.insert(0, base.substr(0, 2));
  }
  return isAbsolutePath(resolved) ? resolved : std::wstring();
}

std::wstring joinPath(const std::wstring& folder, const std::wstring& name) {
  return !folder.empty() && (folder.back() == L'\\' || folder.back() == L'/') ? folder + name : folder + L"\\" + name;
}

std::wstring fullPathOf(const std::wstring& path) {
  if (!isAbsolutePath(path)) return path;
  DWORD length = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (length == 0) return path;
  std::wstring full(length, L'\0');
  length = GetFullPathNameW(path.c_str(), length, &full[0], nullptr);
  if (length == 0 || length >= full.size()) return path;
  full.resize(length);
  return full;
}

HANDLE openSharedFile(const std::wstring& path, DWORD access) {
  HANDLE file = nullIfInvalid(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file && GetFileType(file) != FILE_TYPE_DISK) closeHandle(file);
  return file;
}

ErrorLogMark markErrorLog(const std::wstring& path) {
  ErrorLogMark mark;
  mark.path = path;
  FileState state;
  if (!path.empty() && pathState(path, &state)) {
    mark.existed = true;
    mark.size = state.size;
    mark.volume = state.volume;
    mark.fileIndex = state.fileIndex;
  }
  return mark;
}

std::wstring errorLogLines(const ErrorLogMark& mark, const std::wstring& title) {
  if (mark.path.empty()) return notFound(title);
  FileState state;
  HANDLE file = openSharedFile(mark.path, GENERIC_READ);
  if (!file || !fileState(file, &state)) {
    closeHandle(file);
    // Kept from readers: all that can be told is whether it is still the same size.
    if (mark.existed && pathState(mark.path, &state) && state.volume == mark.volume &&
        state.fileIndex == mark.fileIndex && state.size == mark.size) {
      return unchanged(title, mark.path);
    }
    return notFound(title);
  }
  bool sameFile = mark.existed && state.volume == mark.volume && state.fileIndex == mark.fileIndex;
  ULONGLONG from = sameFile && state.size >= mark.size ? mark.size : 0;
  ULONGLONG begin = state.size - from > kErrorLogReadBytes ? state.size - kErrorLogReadBytes : from;
  std::string bytes = state.size > from ? readFileBytes(file, begin, state.size - begin) : std::string();
  closeHandle(file);

  std::wstring text = trimConsoleOutput(decodeJudged(bytes, begin > from));
  size_t first = text.find_first_not_of(L"\r\n");
  if (first == std::wstring::npos) return unchanged(title, mark.path);
  text.erase(0, first);
  std::wstring shown = reportOutput(text);
  // Left out by the read's own bound, yet short enough not to be cut again: still say so.
  if (begin > from && shown.compare(0, wcslen(kOutputCutNote), kOutputCutNote) != 0) shown.insert(0, kOutputCutNote);
  return title + L" (" + mark.path + L"):\r\n" + shown;
}
