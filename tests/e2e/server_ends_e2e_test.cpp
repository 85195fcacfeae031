// A server's end is in the Journal as soon as its process has ended, not at the next supervision
// tick: with a 10 s interval, an end after the start-up checks (their 2 s of 100 ms ticks) is
// reported within 3 s, where the tick would have come about 6 s later; also while the About box
// holds the Launcher in its own message loop.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/control_window.h"
#include "tests/support/e2e_support.h"

namespace {

constexpr DWORD kLongIntervalMs = 10000;
// Three times the second the report may take at most; one that waited for the tick would come
// about twice as late as this.
constexpr DWORD kWellBeforeTheTickMs = 3000;
// The database ends this long after its start: after the start-up checks, before the first tick.
constexpr wchar_t kEndAfterTheStartUpChecks[] = L"--run 4000 --exit-code 2";
constexpr wchar_t kDatabaseEnded[] = L"ОШИБКА: MySQL сервер ";

struct ServerEndsE2e : e2e::StandInPairTest {
  void startBoth(const std::wstring& dbArgs) {
    LauncherConfig config;
    config.checkIntervalMs = kLongIntervalMs;
    ASSERT_NO_FATAL_FAILURE(StandInPairTest::startBoth(L"", dbArgs, config));
  }
};

}  // namespace

TEST_F(ServerEndsE2e, AnEndIsReportedAtOnceWhateverTheInterval) {
  ASSERT_NO_FATAL_FAILURE(startBoth(kEndAfterTheStartUpChecks));
  ASSERT_TRUE(db.waitEnd());
  EXPECT_TRUE(
      launcher.waitJournal(L"ОШИБКА: MySQL сервер неожиданно закрылся! Проверьте лог-файл", kWellBeforeTheTickMs))
      << e2e::toUtf8(launcher.journal());
  launcher.quitAndExpectZero();
}

TEST_F(ServerEndsE2e, AnEndWhileTheAboutBoxIsOpenIsReportedBeforeItCloses) {
  ASSERT_NO_FATAL_FAILURE(startBoth(kEndAfterTheStartUpChecks));
  PostMessageW(control, WM_COMMAND, IDM_ABOUT, 0);
  HWND about = launcher.messageBox(e2e::kTimeoutMs);
  ASSERT_NE(nullptr, about);

  ASSERT_TRUE(db.waitEnd());
  EXPECT_TRUE(launcher.waitJournal(kDatabaseEnded, kWellBeforeTheTickMs)) << e2e::toUtf8(launcher.journal());
  EXPECT_TRUE(IsWindow(about));
  PostMessageW(about, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(e2e::waitFor([&] { return !IsWindow(about); }, e2e::kTimeoutMs));
  launcher.quitAndExpectZero();
}
