// A database's shutdown event: the names are tried in order and the first that opens is set; a
// name differing only in letter case is another event.
#include "process/shutdown_event.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "win/handles.h"

TEST(ShutdownEvent, TheFirstNameThatOpensIsSet) {
  DWORD pid = GetCurrentProcessId();
  std::wstring id = std::to_wstring(pid);
  const std::wstring modern = L"MySQLShutdown" + id, monitored = L"mysqld" + id + L"_shutdown",
                     unmonitored = L"MYSQLShutdown" + id;
  struct Row {
    std::vector<std::wstring> created;
    std::wstring expected;  // empty: none is set
  };
  const Row rows[] = {
      {{unmonitored, monitored, modern}, modern},
      {{unmonitored, monitored}, monitored},
      {{unmonitored}, unmonitored},
      {{L"mysqlshutdown" + id, L"MySQLShutdown" + std::to_wstring(pid + 4)}, L""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.expected.empty() ? "none" : std::string(row.expected.begin(), row.expected.end()));
    std::vector<HANDLE> events;
    for (const std::wstring& name : row.created) events.push_back(CreateEventW(nullptr, FALSE, FALSE, name.c_str()));
    EXPECT_EQ(!row.expected.empty(), signalShutdownEvent(pid));
    for (size_t i = 0; i < events.size(); ++i) {
      ASSERT_NE(nullptr, events[i]);
      EXPECT_EQ(row.created[i] == row.expected, WaitForSingleObject(events[i], 0) == WAIT_OBJECT_0);
      closeHandle(events[i]);
    }
  }
}
