#include "config/launcher_config.h"

#include <cctype>
#include <climits>

#include "config/paths.h"
#include "win/file_bytes.h"
#include "win/handles.h"
#include "win/text.h"

namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

enum class KeyKind { String, Bool, Interval };

struct KeyEntry {
  const char* key;
  KeyKind kind;
  std::wstring LauncherConfig::*text;
  bool LauncherConfig::*flag;
};

const KeyEntry kKeys[] = {
    {"webserver", KeyKind::String, &LauncherConfig::webServer, nullptr},
    {"workingdirectory", KeyKind::String, &LauncherConfig::workingDirectory, nullptr},
    {"webserverdirectory", KeyKind::String, &LauncherConfig::webServerDirectory, nullptr},
    {"substdrive", KeyKind::String, &LauncherConfig::substDrive, nullptr},
    {"mysqlserver", KeyKind::String, &LauncherConfig::mysqlServer, nullptr},
    {"mysqlserverdirectory", KeyKind::String, &LauncherConfig::mysqlServerDirectory, nullptr},
    {"starthidden", KeyKind::Bool, nullptr, &LauncherConfig::startHidden},
    {"singleinstance", KeyKind::Bool, nullptr, &LauncherConfig::singleInstance},
    {"noterminate", KeyKind::Bool, nullptr, &LauncherConfig::noTerminate},
    {"checkintervalms", KeyKind::Interval, nullptr, nullptr},
    {"openbrowser", KeyKind::Bool, nullptr, &LauncherConfig::openBrowser},
};

void applySetting(LauncherConfig& config, const std::string& key, const std::string& value) {
  for (const KeyEntry& entry : kKeys) {
    if (key != entry.key) continue;
    switch (entry.kind) {
      case KeyKind::String:
        config.*entry.text = Utf8ToWide(value);
        break;
      case KeyKind::Bool:
        ParseBoolValue(value, config.*entry.flag);
        break;
      case KeyKind::Interval: {
        DWORD interval = 0;
        if (!value.empty() && ParseUnsignedDecimal(value, interval) && interval >= kMinCheckIntervalMs)
          config.checkIntervalMs = interval;
        break;
      }
    }
    return;
  }
}

// A settings file is a few hundred bytes; past this the rest is not read, so that a huge file
// cannot exhaust the memory of a 32-bit process.
constexpr size_t kMaxConfigBytes = 16 * 1024 * 1024;

bool readWholeFile(const std::wstring& path, std::string& bytes) {
  HANDLE file = nullIfInvalid(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  bytes = readFileBytes(file, 0, kMaxConfigBytes);
  closeHandle(file);
  return true;
}

}  // namespace

std::string TrimAscii(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && isBlank(text[begin])) ++begin;
  while (end > begin && isBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::string ToLowerAscii(const std::string& text) {
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

bool ParseBoolValue(const std::string& text, bool& value) {
  std::string word = ToLowerAscii(TrimAscii(text));
  if (word == "1" || word == "true" || word == "yes" || word == "on") {
    value = true;
    return true;
  }
  if (word == "0" || word == "false" || word == "no" || word == "off") {
    value = false;
    return true;
  }
  return false;
}

bool ParseUnsignedDecimal(const std::string& text, DWORD& value) {
  // The rules of strtoul in base 10 (sign, modulo-2^32 negation, saturation), minus its
  // tolerance of trailing text: the whole value must be the number.
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  unsigned long long number = 0;
  bool saturated = false;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return false;
    if (!saturated) {
      number = number * 10 + static_cast<unsigned>(c - '0');
      if (number > 0xFFFFFFFFull) saturated = true;
    }
  }
  if (saturated) {
    value = 0xFFFFFFFFu;
    return true;
  }
  DWORD result = static_cast<DWORD>(number);
  value = negative ? static_cast<DWORD>(0u - result) : result;
  return true;
}

std::wstring Utf8ToWide(const std::string& bytes) {
  return decodeText(CP_UTF8, bytes.data(), bytes.size());
}

LauncherConfig ParseConfig(const std::string& fileBytes, std::wstring* warning) {
  LauncherConfig config;
  size_t pos = 0;
  if (fileBytes.size() >= 3 && fileBytes.compare(0, 3, "\xEF\xBB\xBF") == 0) pos = 3;

  std::string section;
  while (pos <= fileBytes.size()) {
    size_t end = fileBytes.find('\n', pos);
    if (end == std::string::npos) end = fileBytes.size();
    std::string line = TrimAscii(fileBytes.substr(pos, end - pos));
    pos = end + 1;

    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (line.size() >= 3 && line.front() == '[' && line.back() == ']') {
      section = ToLowerAscii(TrimAscii(line.substr(1, line.size() - 2)));
      continue;
    }
    if (!section.empty() && section != "wendlor") continue;
    size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    applySetting(config, ToLowerAscii(TrimAscii(line.substr(0, equals))), TrimAscii(line.substr(equals + 1)));
  }

  if (config.webServer.empty()) {
    if (warning) *warning = L"В wendlor.ini ключ WebServer пустой.";
    config = LauncherConfig();
  }
  return config;
}

LauncherConfig LoadConfig(const std::wstring& programFolder, std::wstring* warning) {
  std::wstring path = programFolder;
  if (!path.empty() && path.back() != L'\\') path += L'\\';
  path += kConfigFileName;
  std::string bytes;
  if (!readWholeFile(path, bytes)) return LauncherConfig();
  return ParseConfig(bytes, warning);
}

std::wstring effectiveWorkingDirectory(const LauncherConfig& config, const std::wstring& programFolder) {
  return ResolveFolderSetting(config.workingDirectory, programFolder, programFolder);
}
