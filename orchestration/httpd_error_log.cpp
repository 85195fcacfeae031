#include "orchestration/httpd_error_log.h"

#include <algorithm>
#include <cwctype>
#include <vector>

#include "orchestration/error_log.h"
#include "process/output_capture.h"
#include "win/file_bytes.h"
#include "win/handles.h"
#include "win/text.h"

namespace {

struct Define {
  std::wstring name;
  bool hasValue = false;
  std::wstring value;
};

struct ConfigScan {
  std::wstring serverFolder;  // a relative ServerRoot is taken from the server's current folder
  std::wstring root;          // the ServerRoot in effect
  std::vector<Define> defines;
  bool errorLogSet = false;
  std::wstring errorLog;
  int filesRead = 0;
  int folderListings = 0;
  DWORD bytesLeft = kHttpdConfigTotalBytes;
};

bool isBlank(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\f' || c == L'\v';
}

std::wstring asciiLower(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return text;
}

// httpd.conf writes paths with either separator; Windows paths are kept with backslashes.
std::wstring backslashed(std::wstring path) {
  std::replace(path.begin(), path.end(), L'/', L'\\');
  return path;
}

// A path of the configuration against the root in effect, in one spelling.
std::wstring configPath(const std::wstring& root, const std::wstring& path) {
  return fullPathOf(absoluteIn(root, backslashed(path)));
}

// The words of a directive as httpd splits them: blanks between, a word in double or single quotes
// whole, a backslash in a quoted word keeping the quote after it; a quote left open runs to the end.
std::vector<std::wstring> configWords(const std::wstring& line) {
  std::vector<std::wstring> words;
  size_t at = 0;
  size_t size = line.size();
  for (;;) {
    while (at < size && isBlank(line[at])) ++at;
    if (at >= size) break;
    std::wstring word;
    wchar_t quote = line[at];
    if (quote == L'"' || quote == L'\'') {
      for (++at; at < size && line[at] != quote; ++at) {
        if (line[at] == L'\\' && at + 1 < size && line[at + 1] == quote) ++at;
        word += line[at];
      }
      ++at;
    } else {
      while (at < size && !isBlank(line[at])) word += line[at++];
    }
    words.push_back(word);
  }
  return words;
}

const Define* findDefine(const ConfigScan& scan, const std::wstring& name, bool anyCase) {
  for (const Define& define : scan.defines) {
    if (anyCase ? equalsIgnoringCase(define.name, name) : define.name == name) return &define;
  }
  return nullptr;
}

void define(ConfigScan& scan, const std::wstring& name, const std::wstring* value) {
  if (name.empty()) return;
  auto found = std::find_if(scan.defines.begin(), scan.defines.end(), [&](const Define& d) { return d.name == name; });
  if (found == scan.defines.end()) {
    scan.defines.push_back(Define{name, false, std::wstring()});
    found = scan.defines.end() - 1;
  }
  if (value) {
    found->hasValue = true;
    found->value = *value;
  }
}

// ${NAME}: the value a Define gave, else the environment variable; left as written when neither is.
std::wstring substituted(const ConfigScan& scan, const std::wstring& line) {
  std::wstring result;
  size_t at = 0;
  for (;;) {
    size_t open = line.find(L"${", at);
    size_t close = open == std::wstring::npos ? std::wstring::npos : line.find(L'}', open + 2);
    if (close == std::wstring::npos) break;
    result.append(line, at, open - at);
    std::wstring name = line.substr(open + 2, close - open - 2);
    const Define* given = findDefine(scan, name, true);
    wchar_t value[32768];
    DWORD length = name.empty() ? 0 : GetEnvironmentVariableW(name.c_str(), value, 32768);
    if (given && given->hasValue) {
      result += given->value;
    } else if (length > 0 && length < 32768) {
      result.append(value, length);
    } else {
      result.append(line, open, close + 1 - open);
    }
    at = close + 1;
  }
  result.append(line, at, std::wstring::npos);
  return result;
}

// One character of a pattern at *p against c: '?', a [class] or itself, in any case; *p moves on.
bool charMatches(const std::wstring& pattern, size_t* p, wchar_t c) {
  wchar_t lower = static_cast<wchar_t>(towlower(c));
  if (pattern[*p] == L'[') {
    size_t at = *p + 1;
    bool negated = at < pattern.size() && (pattern[at] == L'!' || pattern[at] == L'^');
    if (negated) ++at;
    size_t close = pattern.find(L']', at + 1);
    if (close != std::wstring::npos) {
      bool in = false;
      for (size_t i = at; i < close; ++i) {
        wchar_t from = static_cast<wchar_t>(towlower(pattern[i]));
        wchar_t to = from;
        if (i + 2 < close && pattern[i + 1] == L'-') {
          to = static_cast<wchar_t>(towlower(pattern[i + 2]));
          i += 2;
        }
        in = in || (lower >= from && lower <= to);
      }
      *p = close + 1;
      return in != negated;
    }
  }
  bool matches = pattern[*p] == L'?' || static_cast<wchar_t>(towlower(pattern[*p])) == lower;
  ++*p;
  return matches;
}

// A file name against a wildcard pattern, as httpd matches Include's; a leading dot is matched only
// by a dot. Backtracks to the last '*' only, so it takes time in proportion to the lengths.
bool wildcardMatch(const std::wstring& pattern, const std::wstring& name) {
  if (!name.empty() && name[0] == L'.' && (pattern.empty() || pattern[0] != L'.')) return false;
  size_t p = 0, n = 0, starP = std::wstring::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == L'*') {
      starP = ++p;
      starN = n;
      continue;
    }
    size_t next = p;
    if (p < pattern.size() && charMatches(pattern, &next, name[n])) {
      p = next;
      ++n;
      continue;
    }
    if (starP == std::wstring::npos) return false;
    p = starP;
    n = ++starN;
  }
  while (p < pattern.size() && pattern[p] == L'*') ++p;
  return p == pattern.size();
}

bool hasWildcard(const std::wstring& text) {
  return text.find_first_of(L"*?[") != std::wstring::npos;
}

struct FolderEntry {
  std::wstring name;
  bool folder;
};

// The entries of folder in the byte order httpd sorts them in, at most a bounded number of them.
std::vector<FolderEntry> listFolder(ConfigScan& scan, const std::wstring& folder) {
  std::vector<FolderEntry> entries;
  if (scan.folderListings >= kHttpdFolderListings) return entries;
  ++scan.folderListings;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(joinPath(folder, L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return entries;
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    entries.push_back({name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (entries.size() < static_cast<size_t>(kHttpdConfigFiles) && FindNextFileW(search, &found));
  FindClose(search);
  std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  return entries;
}

bool readConfigFile(ConfigScan& scan, const std::wstring& path, int depth);

// A file, or a folder with all its files and subfolders in order.
void includeWhole(ConfigScan& scan, const std::wstring& path, int depth) {
  if (depth > kHttpdIncludeDepth) return;
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    readConfigFile(scan, path, depth);
    return;
  }
  for (const FolderEntry& entry : listFolder(scan, path)) includeWhole(scan, joinPath(path, entry.name), depth + 1);
}

// The path from its first component with a wildcard on: each match of that component, the rest
// matched below it (a match inside the path must be a folder).
void includeMatches(ConfigScan& scan, const std::wstring& folder, const std::wstring& rest, int depth) {
  if (depth > kHttpdIncludeDepth) return;
  size_t slash = rest.find(L'\\');
  std::wstring pattern = rest.substr(0, slash);
  std::wstring below = slash == std::wstring::npos ? std::wstring() : rest.substr(slash + 1);
  if (!hasWildcard(pattern)) {
    std::wstring path = joinPath(folder, pattern);
    if (below.empty()) {
      includeWhole(scan, path, depth);
    } else {
      includeMatches(scan, path, below, depth);
    }
    return;
  }
  for (const FolderEntry& entry : listFolder(scan, folder)) {
    if (!wildcardMatch(pattern, entry.name) || (!below.empty() && !entry.folder)) continue;
    std::wstring path = joinPath(folder, entry.name);
    if (below.empty()) {
      includeWhole(scan, path, depth + 1);
    } else {
      includeMatches(scan, path, below, depth + 1);
    }
  }
}

// Include and IncludeOptional alike: a missing file stops httpd on the first, not here.
void include(ConfigScan& scan, const std::wstring& argument, int depth) {
  // Once the bounds are spent, a file of many includes costs no look at the disk each.
  if (scan.filesRead >= kHttpdConfigFiles || scan.bytesLeft == 0) return;
  std::wstring path = absoluteIn(scan.root, backslashed(argument));
  if (path.empty()) return;
  if (!hasWildcard(path)) {
    includeWhole(scan, fullPathOf(path), depth);
    return;
  }
  // The part before the first wildcard is a folder as written; a drive or share is never matched.
  size_t wildcard = path.find_first_of(L"*?[");
  size_t slash = path.rfind(L'\\', wildcard);
  if (slash == std::wstring::npos) return;
  std::wstring folder = path.substr(0, slash);
  if (folder.size() == 2 && folder[1] == L':') folder += L'\\';
  includeMatches(scan, fullPathOf(folder), path.substr(slash + 1), depth);
}

// Sections whose directives belong to a virtual host or to requests, never to the main server.
bool sectionOfItsOwn(const std::wstring& name) {
  static const wchar_t* const kSections[] = {L"virtualhost",   L"directory", L"directorymatch", L"location",
                                             L"locationmatch", L"files",     L"filesmatch",     L"proxy",
                                             L"proxymatch",    L"macro"};
  for (const wchar_t* section : kSections) {
    if (name == section) return true;
  }
  return false;
}

// The lines of one file or of one -C / -c directive. Sections are counted per text, as httpd
// wants each closed in the file that opens it.
void readConfigText(ConfigScan& scan, const std::wstring& text, int depth) {
  size_t open = 0;                       // sections open
  size_t skipFrom = std::wstring::npos;  // the section whose directives do not count
  size_t at = 0;
  while (at < text.size()) {
    // A line that ends in a backslash goes on on the next.
    std::wstring line;
    for (;;) {
      size_t end = text.find(L'\n', at);
      if (end == std::wstring::npos) end = text.size();
      std::wstring part = text.substr(at, end - at);
      at = end + 1;
      while (!part.empty() && isBlank(part.back())) part.pop_back();
      bool continued = !part.empty() && part.back() == L'\\' && at < text.size();
      if (continued) part.pop_back();
      line += part;
      if (!continued) break;
    }
    size_t first = 0;
    while (first < line.size() && isBlank(line[first])) ++first;
    if (first == line.size() || line[first] == L'#') continue;
    line.erase(0, first);

    if (line.compare(0, 2, L"</") == 0) {
      if (open == 0) continue;
      if (skipFrom == open) skipFrom = std::wstring::npos;
      --open;
      continue;
    }
    if (line[0] == L'<') {
      ++open;
      if (skipFrom != std::wstring::npos) continue;
      std::wstring inside = line.substr(1);
      if (!inside.empty() && inside.back() == L'>') inside.pop_back();
      std::vector<std::wstring> words = configWords(substituted(scan, inside));
      std::wstring name = words.empty() ? std::wstring() : asciiLower(words[0]);
      bool counts = !sectionOfItsOwn(name);
      if (name == L"ifdefine") {
        std::wstring what = words.size() > 1 ? words[1] : std::wstring();
        bool negated = !what.empty() && what[0] == L'!';
        if (negated) what.erase(0, 1);
        counts = (findDefine(scan, what, false) != nullptr) != negated;
      }
      if (!counts) skipFrom = open;
      continue;
    }
    if (skipFrom != std::wstring::npos) continue;

    std::vector<std::wstring> words = configWords(substituted(scan, line));
    if (words.size() < 2) continue;
    std::wstring name = asciiLower(words[0]);
    if (name == L"serverroot") {
      std::wstring root = configPath(scan.serverFolder, words[1]);
      if (!root.empty()) scan.root = root;
    } else if (name == L"include" || name == L"includeoptional") {
      include(scan, words[1], depth + 1);
    } else if (name == L"define") {
      define(scan, words[1], words.size() > 2 ? &words[2] : nullptr);
    } else if (name == L"undefine") {
      scan.defines.erase(
          std::remove_if(scan.defines.begin(), scan.defines.end(), [&](const Define& d) { return d.name == words[1]; }),
          scan.defines.end());
    } else if (name == L"errorlog") {
      scan.errorLogSet = true;
      scan.errorLog = words[1];
    }
  }
}

// False when the file cannot be read at all.
bool readConfigFile(ConfigScan& scan, const std::wstring& path, int depth) {
  if (path.empty() || depth > kHttpdIncludeDepth || scan.filesRead >= kHttpdConfigFiles) return false;
  HANDLE file = openSharedFile(path, GENERIC_READ);
  if (!file) return false;
  ++scan.filesRead;
  DWORD limit = std::min(kHttpdConfigFileBytes, scan.bytesLeft);
  std::string bytes = readFileBytes(file, 0, limit);
  closeHandle(file);
  scan.bytesLeft -= static_cast<DWORD>(bytes.size());
  // A line cut by the bound is no line of the file.
  if (bytes.size() == limit) {
    size_t lastBreak = bytes.find_last_of('\n');
    bytes.resize(lastBreak == std::string::npos ? 0 : lastBreak);
  }
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
  readConfigText(scan, decodeJudged(bytes, false), depth);
  return true;
}

bool takesValue(wchar_t option) {
  return option != 0 && wcschr(L"CcDdEefkn", option) != nullptr;
}

}  // namespace

std::wstring FindHttpdErrorLog(const std::wstring& commandLine, const std::wstring& program,
                               const std::wstring& serverFolder, bool* notFile) {
  *notFile = true;
  std::vector<std::wstring> words = commandLineWords(commandLine);
  ConfigScan scan;
  scan.serverFolder = serverFolder;
  std::wstring rootGiven;
  std::wstring configGiven;
  std::vector<std::wstring> before;
  std::vector<std::wstring> after;
  // Options as httpd takes them: flags run together, a value joined to its option or the next word,
  // and the first word that is no option ends them.
  for (size_t i = 1; i < words.size(); ++i) {
    const std::wstring& word = words[i];
    if (word.size() < 2 || word[0] != L'-' || word == L"--") break;
    for (size_t c = 1; c < word.size(); ++c) {
      wchar_t option = word[c];
      if (!takesValue(option)) continue;
      std::wstring value = c + 1 < word.size() ? word.substr(c + 1) : (i + 1 < words.size() ? words[++i] : L"");
      if (option == L'd') {
        rootGiven = value;
      } else if (option == L'f') {
        configGiven = value;
      } else if (option == L'D') {
        define(scan, value, nullptr);
      } else if (option == L'C') {
        before.push_back(value);
      } else if (option == L'c') {
        after.push_back(value);
      }
      break;
    }
  }
  if (!rootGiven.empty()) {
    scan.root = configPath(serverFolder, rootGiven);
  } else if (isAbsolutePath(program)) {
    scan.root = folderOfPath(program);
    size_t slash = scan.root.find_last_of(L"\\/");
    if (slash != std::wstring::npos && equalsIgnoringCase(scan.root.substr(slash + 1), L"bin")) {
      scan.root = folderOfPath(scan.root);
    }
  }
  if (scan.root.empty()) return std::wstring();
  std::wstring config =
      configGiven.empty() ? joinPath(scan.root, L"conf\\httpd.conf") : configPath(scan.root, configGiven);

  for (const std::wstring& directive : before) readConfigText(scan, directive, 0);
  if (!readConfigFile(scan, config, 0)) return std::wstring();
  for (const std::wstring& directive : after) readConfigText(scan, directive, 0);

  std::wstring log = scan.errorLogSet ? TrimWide(scan.errorLog) : std::wstring(L"logs\\error.log");
  std::wstring lower = asciiLower(log);
  if (log.empty() || log[0] == L'|' || lower == L"syslog" || lower.compare(0, 7, L"syslog:") == 0) {
    return std::wstring();
  }
  *notFile = false;
  return configPath(scan.root, log);
}
