// Every way the real program ends, with fixtures as the web server and the database: the exit
// code, what each server got, and that the database was stopped before the web server's Ctrl+C.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/e2e_support.h"

namespace {

constexpr DWORD kTimeoutMs = 20000;
constexpr DWORD kDatabaseBoundMs = 10000;
constexpr UINT kLogExitButton = 2001;

// One fixture server seen from outside: its marker file and, once it runs, its process.
struct Server {
  std::wstring marker;
  e2e::Process process;
  std::string events() const { return e2e::readFile(marker); }
  bool has(const std::wstring& line) const { return e2e::markerHas(marker, line); }
  bool waitFor(const std::wstring& line) const { return e2e::waitMarker(marker, line, kTimeoutMs); }
  bool attach() { return waitFor(L"started") && process.attach(e2e::markerNumber(marker, L"pid")); }
  bool running() const { return process.running(); }
  bool waitEnd() { return process.waitExit(kTimeoutMs); }
  DWORD exitCode() {
    DWORD code = 12345;
    process.waitExit(0, &code);
    return code;
  }
  ULONGLONG exitTime() const {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process.handle, &created, &exited, &kernel, &user)) return 0;
    return (static_cast<ULONGLONG>(exited.dwHighDateTime) << 32) | exited.dwLowDateTime;
  }
};

struct Stack {
  e2e::TempFolder markers{L"stop"};
  e2e::Launcher launcher;
  Server web;
  Server db;
  HWND control = nullptr;

  // Starts the Launcher with both fixtures; the extra arguments go to each fixture.
  bool start(const std::wstring& webArgs, const std::wstring& dbArgs, const std::string& moreSettings = "") {
    web.marker = markers.file(L"web.txt");
    db.marker = markers.file(L"db.txt");
    std::string ini =
        e2e::toUtf8(L"webserver=" + e2e::fakeServer(L"--marker " + e2e::quoted(web.marker) + webArgs) +
                    L"\nmysqlserver=" + e2e::fakeServer(L"--marker " + e2e::quoted(db.marker) + dbArgs) + L"\n") +
        moreSettings;
    if (!launcher.prepare(ini) || !launcher.start()) return false;
    if (!web.attach() || !db.attach()) return false;
    control = launcher.controlWindow();
    return control != nullptr;
  }
  bool exitsWithZero(DWORD timeoutMs = kTimeoutMs) {
    DWORD code = 99;
    return launcher.waitExit(timeoutMs, &code) && code == 0;
  }
};

}  // namespace

TEST(ShutdownE2e, EveryWayOutStopsTheDatabaseFirstAndEndsWithZero) {
  struct Way {
    const char* name;
    void (*trigger)(Stack&);
  };
  const Way ways[] = {
      {"menu Exit with a notification code",
       [](Stack& s) { PostMessageW(s.control, WM_COMMAND, MAKEWPARAM(1003, 1), 0); }},
      {"command 1002", [](Stack& s) { PostMessageW(s.control, WM_COMMAND, 1002, 0); }},
      {"log window Exit button", [](Stack& s) { PostMessageW(s.launcher.logWindow(), WM_COMMAND, kLogExitButton, 0); }},
      {"WM_CLOSE from another program", [](Stack& s) { PostMessageW(s.control, WM_CLOSE, 0, 0); }},
  };
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    Stack stack;
    ASSERT_TRUE(stack.start(L"", L""));
    way.trigger(stack);
    EXPECT_TRUE(stack.exitsWithZero());
    ASSERT_TRUE(stack.db.waitEnd());
    ASSERT_TRUE(stack.web.waitEnd());
    EXPECT_TRUE(stack.db.has(L"ctrlc")) << stack.db.events();
    EXPECT_TRUE(stack.db.has(L"exit=130")) << stack.db.events();
    EXPECT_TRUE(stack.web.has(L"ctrlc")) << stack.web.events();
    // The web server got its interrupt only after the database had gone.
    EXPECT_LE(stack.db.exitTime(), stack.web.exitTime());
  }
}

TEST(ShutdownE2e, DatabaseIgnoringCtrlCIsTerminatedAfterTheBound) {
  Stack stack;
  ASSERT_TRUE(stack.start(L"", L" --ignore-ctrlc"));
  DWORD posted = GetTickCount();
  PostMessageW(stack.control, WM_COMMAND, 1003, 0);
  ASSERT_TRUE(stack.db.waitEnd());
  DWORD waited = GetTickCount() - posted;
  EXPECT_TRUE(stack.db.has(L"ctrlc-ignored")) << stack.db.events();
  EXPECT_EQ(0u, stack.db.exitCode());
  EXPECT_GE(waited, kDatabaseBoundMs - 1000);
  EXPECT_TRUE(stack.exitsWithZero());
  ASSERT_TRUE(stack.web.waitEnd());
  EXPECT_TRUE(stack.web.has(L"ctrlc"));
  EXPECT_LE(stack.db.exitTime(), stack.web.exitTime());
}

TEST(ShutdownE2e, NoTerminateLeavesBothServersRunning) {
  const UINT commands[] = {1003, 1002};
  for (UINT command : commands) {
    SCOPED_TRACE(command);
    Stack stack;
    ASSERT_TRUE(stack.start(L"", L"", "noterminate=1\n"));
    PostMessageW(stack.control, WM_COMMAND, command, 0);
    EXPECT_TRUE(stack.exitsWithZero());
    EXPECT_TRUE(stack.db.running());
    EXPECT_TRUE(stack.web.running());
    EXPECT_FALSE(stack.db.has(L"ctrlc"));
    EXPECT_FALSE(stack.web.has(L"ctrlc"));
  }
}

TEST(ShutdownE2e, WebServerIgnoringCtrlCIsLeftRunningAndTheLauncherEndsAtOnce) {
  Stack stack;
  ASSERT_TRUE(stack.start(L" --ignore-ctrlc", L""));
  DWORD posted = GetTickCount();
  PostMessageW(stack.control, WM_COMMAND, 1003, 0);
  EXPECT_TRUE(stack.exitsWithZero());
  EXPECT_LT(GetTickCount() - posted, kDatabaseBoundMs / 2);
  ASSERT_TRUE(stack.db.waitEnd());
  EXPECT_TRUE(stack.web.waitFor(L"ctrlc-ignored"));
  EXPECT_TRUE(stack.web.running());
}

TEST(ShutdownE2e, ServerThatAlreadyEndedIsNotInterrupted) {
  Stack stack;
  ASSERT_TRUE(stack.start(L"", L" --run 200"));
  ASSERT_TRUE(stack.db.waitEnd());
  PostMessageW(stack.control, WM_COMMAND, 1003, 0);
  EXPECT_TRUE(stack.exitsWithZero());
  EXPECT_FALSE(stack.db.has(L"ctrlc")) << stack.db.events();
  EXPECT_FALSE(stack.db.has(L"ctrlc-ignored"));
  ASSERT_TRUE(stack.web.waitEnd());
  EXPECT_TRUE(stack.web.has(L"ctrlc"));
}

TEST(ShutdownE2e, CommandsPiledUpEndItOnceWithZero) {
  Stack stack;
  ASSERT_TRUE(stack.start(L"", L""));
  PostMessageW(stack.control, WM_COMMAND, 1002, 0);
  PostMessageW(stack.control, WM_CLOSE, 0, 0);
  PostMessageW(stack.control, WM_COMMAND, 1003, 0);
  PostMessageW(stack.control, WM_COMMAND, 1002, 0);
  EXPECT_TRUE(stack.exitsWithZero());
  ASSERT_TRUE(stack.db.waitEnd());
  ASSERT_TRUE(stack.web.waitEnd());
  EXPECT_TRUE(stack.db.has(L"exit=130"));
  EXPECT_TRUE(stack.web.has(L"exit=130"));
}
