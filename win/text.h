#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// Text helpers every folder uses: no dependency on anything of ours.

// text without leading and trailing spaces, tabs, CR and LF.
std::wstring TrimWide(const std::wstring& text);

// size bytes of data in codePage as UTF-16; empty when they do not convert.
std::wstring decodeText(UINT codePage, const char* data, size_t size);

// Whether a and b are the same text, letter case aside (ordinal, as the file system compares names).
bool equalsIgnoringCase(const std::wstring& a, const std::wstring& b);

// The last part of a path, after its last separator ("httpd.exe"); path itself when it has none.
std::wstring fileNameOf(const std::wstring& path);
