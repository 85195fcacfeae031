#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "tests/support/dialog_driver.h"
#include "tests/support/e2e_support.h"
#include "ui/journal_menu.h"
#include "ui/log_window.h"
#include "win/system_error.h"

namespace {

std::wstring clipboardText() {
  std::wstring text;
  if (!OpenClipboard(nullptr)) return L"<clipboard not opened>";
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
      text = chars;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

void clearClipboard() {
  if (OpenClipboard(nullptr)) {
    EmptyClipboard();
    CloseClipboard();
  }
}

// What the Journal shows, as the saved file must hold it.
std::string expectedFile(HWND edit) {
  std::wstring lines = e2e::plainLines(e2e::windowText(edit));
  std::wstring crlf;
  for (wchar_t c : lines) crlf += c == L'\n' ? std::wstring(L"\r\n") : std::wstring(1, c);
  return "\xEF\xBB\xBF" + e2e::toUtf8(crlf);
}

struct JournalCopySave : ::testing::Test {
  LogWindow log;
  void SetUp() override {
    ASSERT_TRUE(log.create(GetModuleHandleW(nullptr), nullptr));
    log.show();
    log.append(L"Веб-сервер запущен.", false, true);
    log.append(L"ОШИБКА: две\r\nстроки", true, false);
  }
  void command(WORD id) { SendMessageW(log.window, WM_COMMAND, MAKEWPARAM(id, 0), 0); }
  // Ctrl+key as the keyboard delivers it to the focused Journal.
  void controlKey(WPARAM key) {
    BYTE keys[256];
    GetKeyboardState(keys);
    BYTE saved = keys[VK_CONTROL];
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    SendMessageW(log.edit, WM_KEYDOWN, key, 1);
    SendMessageW(log.edit, WM_KEYUP, key, 0xC0000001);
    keys[VK_CONTROL] = saved;
    SetKeyboardState(keys);
  }
};

}  // namespace

TEST(JournalFile, Utf8WithAByteOrderMarkAndCrLfWhateverTheLineBreaks) {
  const struct {
    std::wstring text;
    std::string bytes;
  } cases[] = {
      {L"", "\xEF\xBB\xBF"},
      {L"a\r\nb\r\n",
       "\xEF\xBB\xBF"
       "a\r\nb\r\n"},
      {L"a\rb\nc\r\n\r\nd",
       "\xEF\xBB\xBF"
       "a\r\nb\r\nc\r\n\r\nd"},
      {L"\n\r", "\xEF\xBB\xBF\r\n\r\n"},
      {L"Журнал €", "\xEF\xBB\xBF\xD0\x96\xD1\x83\xD1\x80\xD0\xBD\xD0\xB0\xD0\xBB \xE2\x82\xAC"},
  };
  for (const auto& c : cases) EXPECT_EQ(journalFileBytes(c.text), c.bytes) << e2e::toUtf8(c.text);
}

TEST_F(JournalCopySave, CtrlAAndCtrlCAndTheMenuPutTheJournalOnTheClipboard) {
  const std::wstring shown = e2e::plainLines(e2e::windowText(log.edit));
  ASSERT_NE(shown.find(L"["), std::wstring::npos);

  clearClipboard();
  controlKey('A');
  controlKey('C');
  std::wstring copied = clipboardText();
  EXPECT_EQ(e2e::plainLines(copied), shown);
  EXPECT_NE(copied.find(L"\r\n"), std::wstring::npos);  // as other programs expect line breaks

  clearClipboard();
  SendMessageW(log.edit, EM_SETSEL, 0, 0);
  command(IDM_JOURNAL_COPY);  // nothing selected: nothing copied, no line
  EXPECT_EQ(clipboardText(), L"");
  command(IDM_JOURNAL_SELECT_ALL);
  command(IDM_JOURNAL_COPY);
  EXPECT_EQ(e2e::plainLines(clipboardText()), shown);
  EXPECT_EQ(e2e::readJournal(log.edit).size(), 2u);
}

TEST_F(JournalCopySave, AClipboardHeldByAnotherProgramGivesARedLine) {
  std::atomic<bool> held{false}, release{false};
  std::thread holder([&] {
    held = OpenClipboard(nullptr) != FALSE;
    while (!release) Sleep(10);
    if (held) CloseClipboard();
  });
  ASSERT_TRUE(e2e::waitFor([&] { return held.load(); }, e2e::kTimeoutMs));
  command(IDM_JOURNAL_SELECT_ALL);
  EXPECT_FALSE(log.copySelection());
  release = true;
  holder.join();
  std::vector<e2e::JournalEntry> got = e2e::readJournal(log.edit);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got.back().text.rfind(L"ОШИБКА: Не удалось скопировать текст журнала: ", 0), 0u)
      << e2e::toUtf8(got.back().text);
  EXPECT_EQ(got.back().colour, e2e::kRed);
}

TEST_F(JournalCopySave, SavingThroughTheDialogWritesTheJournalAsShown) {
  e2e::TempFolder folder(L"journal");
  const std::wstring path = folder.file(L"сохранённый журнал.txt");
  std::string expected = expectedFile(log.edit);
  {
    e2e::DialogDriver driver(path);
    command(IDM_JOURNAL_SAVE);  // returns once the dialog has closed and the file is written
    EXPECT_TRUE(driver.fileDialogSeen);
    EXPECT_EQ(driver.offeredName, L"wendlor-journal.txt");
  }
  EXPECT_EQ(e2e::readFile(path), expected);
  EXPECT_EQ(e2e::readJournal(log.edit).size(), 2u);  // no line about it
}

// Saves over an existing file that can't be written: the overwrite question is answered yes, the
// red line names the system's reason.
static void saveOverUnwritable(JournalCopySave& test, const std::wstring& path, DWORD expectedError) {
  {
    e2e::DialogDriver driver(path);
    test.command(IDM_JOURNAL_SAVE);
    EXPECT_TRUE(driver.fileDialogSeen);
    EXPECT_EQ(driver.questionsAnswered, 1);
  }
  std::vector<e2e::JournalEntry> got = e2e::readJournal(test.log.edit);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got.back().text, L"ОШИБКА: Не удалось сохранить журнал: " + formatSystemError(expectedError));
  EXPECT_EQ(got.back().colour, e2e::kRed);
}

TEST_F(JournalCopySave, AReadOnlyTargetGivesTheErrorLineAndStaysAsItWas) {
  e2e::TempFolder folder(L"journal");
  const std::wstring path = folder.file(L"readonly.txt");
  ASSERT_TRUE(e2e::writeFile(path, "old"));
  ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
  HANDLE probe = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    // Wine run by root writes read-only files: the attribute is only the owner's write bit.
    CloseHandle(probe);
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    GTEST_SKIP() << "this system lets us write a read-only file";
  }
  saveOverUnwritable(*this, path, ERROR_ACCESS_DENIED);
  EXPECT_EQ(e2e::readFile(path), "old");
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(JournalCopySave, ATargetAnotherProgramHoldsGivesTheErrorLineAndStaysAsItWas) {
  e2e::TempFolder folder(L"journal");
  const std::wstring path = folder.file(L"held.txt");
  ASSERT_TRUE(e2e::writeFile(path, "old"));
  HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  saveOverUnwritable(*this, path, ERROR_SHARING_VIOLATION);
  CloseHandle(held);
  EXPECT_EQ(e2e::readFile(path), "old");
}
