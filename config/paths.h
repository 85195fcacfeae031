#pragma once

#include <string>

#include "win/text.h"

// The full path of the running executable, read whole however long it is; empty on failure.
std::wstring GetProgramPath();
// The folder of the executable, without a trailing separator ("D:" at the root, "." when unknown).
std::wstring GetProgramFolder();
std::wstring ProgramFolderOf(const std::wstring& programPath);
// The process's current directory, read whole however long it is.
std::wstring GetCurrentFolder();

// Makes path absolute against base: drive-letter, UNC and rooted paths come back trimmed but unchanged.
std::wstring ResolvePath(const std::wstring& base, const std::wstring& path);
// The fallback when the setting is empty or "." after trimming, else ResolvePath(programFolder, setting).
std::wstring ResolveFolderSetting(const std::wstring& setting, const std::wstring& programFolder,
                                  const std::wstring& fallback);
