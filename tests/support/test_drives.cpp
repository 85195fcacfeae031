#include "tests/support/test_drives.h"

#include <winioctl.h>

#include <vector>

#include "tests/support/e2e_support.h"

namespace e2e {

namespace {

// Wine's own request to its mount manager to define or remove a drive (winecfg sends it), with
// its input as Wine's ddk/mountmgr.h lays it out: the host path follows the record.
constexpr DWORD kDefineUnixDrive = CTL_CODE(0x6d, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
struct WineUnixDrive {
  ULONG size;
  ULONG type;  // DRIVE_FIXED to define, DRIVE_NO_ROOT_DIR to remove
  ULONG fsType;
  DWORD serial;
  ULONGLONG unixDevice;
  WCHAR letter;
  USHORT mountPointOffset;
  USHORT deviceOffset;
  USHORT labelOffset;
};

// Wine's translation of a Windows path into the host's; empty when there is none.
std::string hostPathOf(const std::wstring& windowsPath) {
  using Translate = char*(CDECL*)(const wchar_t*);
  FARPROC proc = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
  auto translate = reinterpret_cast<Translate>(reinterpret_cast<void*>(proc));
  char* host = translate ? translate(windowsPath.c_str()) : nullptr;
  if (!host) return std::string();
  std::string result = host;
  HeapFree(GetProcessHeap(), 0, host);
  return result;
}

bool askWineMountManager(wchar_t letter, const std::string& hostPath) {
  HANDLE manager = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (manager == INVALID_HANDLE_VALUE) return false;
  std::vector<char> input(sizeof(WineUnixDrive) + hostPath.size() + 1, '\0');
  WineUnixDrive request{};
  request.size = static_cast<ULONG>(input.size());
  request.type = hostPath.empty() ? DRIVE_NO_ROOT_DIR : DRIVE_FIXED;
  request.letter = letter;
  request.mountPointOffset = hostPath.empty() ? 0 : static_cast<USHORT>(sizeof(WineUnixDrive));
  memcpy(input.data(), &request, sizeof request);
  memcpy(input.data() + sizeof request, hostPath.c_str(), hostPath.size());
  DWORD returned = 0;
  BOOL ok = DeviceIoControl(manager, kDefineUnixDrive, input.data(), static_cast<DWORD>(input.size()), nullptr, 0,
                            &returned, nullptr);
  CloseHandle(manager);
  return ok != FALSE;
}

}  // namespace

bool driveExists(wchar_t letter) {
  DWORD oldMode = 0;
  bool quiet = SetThreadErrorMode(GetThreadErrorMode() | SEM_FAILCRITICALERRORS, &oldMode) != FALSE;
  DWORD attributes = GetFileAttributesW((std::wstring{letter, L':', L'\\'}).c_str());
  if (quiet) SetThreadErrorMode(oldMode, nullptr);
  return attributes != INVALID_FILE_ATTRIBUTES;
}

DriveLetter::DriveLetter() {
  DWORD inUse = GetLogicalDrives();
  // A, B and C are the system's; Z is the whole host file system under Wine.
  for (wchar_t candidate = L'D'; candidate <= L'Y'; ++candidate) {
    if ((inUse & (1u << (candidate - L'A'))) || driveExists(candidate)) continue;
    std::wstring name = L"Local\\WendlorTestDrive_" + std::wstring(1, candidate);
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    DWORD error = GetLastError();
    if (!mutex) continue;
    if (error == ERROR_ALREADY_EXISTS) {
      CloseHandle(mutex);
      continue;
    }
    claim = mutex;
    letter = candidate;
    return;
  }
}

DriveLetter::~DriveLetter() {
  if (claim) CloseHandle(claim);
  claim = nullptr;
}

MappedDrive::MappedDrive(const std::wstring& folder) {
  if (!given.letter) {
    why = "no drive letter is free here";
    return;
  }
  std::wstring drive = given.drive();
  if (!underWine()) {
    defined = DefineDosDeviceW(0, drive.c_str(), folder.c_str()) != FALSE;
    if (!defined) why = "DefineDosDeviceW failed";
  } else {
    std::string hostPath = hostPathOf(folder);
    mounted = !hostPath.empty() && askWineMountManager(given.letter, hostPath);
    if (!mounted) why = "Wine's mount manager did not define the drive";
  }
  if (!defined && !mounted) return;
  if (waitFor([&] { return driveExists(given.letter); }, kTimeoutMs)) {
    letter = given.letter;
  } else {
    why = "the drive never answered at its root";
  }
}

MappedDrive::~MappedDrive() {
  if (defined) DefineDosDeviceW(DDD_REMOVE_DEFINITION, given.drive().c_str(), nullptr);
  if (mounted) askWineMountManager(given.letter, std::string());
  if (defined || mounted) waitFor([&] { return !driveExists(given.letter); }, kTimeoutMs);
}

}  // namespace e2e
