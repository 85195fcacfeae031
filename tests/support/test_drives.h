#pragma once

// Drive letters for tests. Every letter a test uses comes from DriveLetter, so that tests that run
// side by side in other processes never pick the same one, and no test counts on a letter being
// free by convention.

#include <windows.h>

#include <string>

namespace e2e {

// A letter that no drive answers at when given out, held for this test alone while this lives
// (a named mutex per letter tells the test processes apart). letter is 0 when none is free.
struct DriveLetter {
  wchar_t letter = 0;
  HANDLE claim = nullptr;
  DriveLetter();
  ~DriveLetter();
  DriveLetter(const DriveLetter&) = delete;
  DriveLetter& operator=(const DriveLetter&) = delete;
  std::wstring drive() const { return std::wstring{letter, L':'}; }  // "X:"
};

// Whether a drive answers at the root of letter; never raises the system's "no disk" box.
bool driveExists(wchar_t letter);

// A letter of its own mapped on folder for the length of a test, as subst maps one. letter is 0
// when the drive could not be made (see why).
//
// On Windows this is DefineDosDeviceW, which is what subst does. Under Wine DefineDosDeviceW
// answers TRUE but file names never reach such a drive: a drive there is a link in the prefix's
// dosdevices folder. The one way to make that link from Windows code is the request Wine's own
// drive settings send to its mount manager, so that is used there, with the folder's host path.
struct MappedDrive {
  DriveLetter given;
  wchar_t letter = 0;
  std::string why;
  bool defined = false;  // by DefineDosDeviceW
  bool mounted = false;  // by Wine's mount manager
  explicit MappedDrive(const std::wstring& folder);
  ~MappedDrive();
  MappedDrive(const MappedDrive&) = delete;
  MappedDrive& operator=(const MappedDrive&) = delete;
  std::wstring drive() const { return std::wstring{letter, L':'}; }  // "X:"
};

}  // namespace e2e
