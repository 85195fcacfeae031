#pragma once

// Where users are sent for help; a distributor changes them here, and only here.
constexpr wchar_t kSupportEmail[] = L"support@wendlor.example";
constexpr wchar_t kInfoEmail[] = L"info@wendlor.example";
constexpr wchar_t kSupportPhone[] = L"+7 (800) 555-01-23";
constexpr wchar_t kSupportWebsite[] = L"https://wendlor.example";
