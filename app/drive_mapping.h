#pragma once

#include <string>

#include "orchestration/server.h"

// Maps the drive of the substdrive setting to folder with subst, unless it is mapped there already;
// the Journal lines of what happened (none when the setting is empty).
JournalLines mapVirtualDrive(const std::wstring& setting, const std::wstring& folder);
