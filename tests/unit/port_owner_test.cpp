#include "orchestration/port_owner.h"

#include <gtest/gtest.h>

#include "tests/support/loopback_listener.h"

namespace {

TEST(PortOwner, MysqlPortFromItsCommandLine) {
  struct Case {
    const wchar_t* commandLine;
    USHORT port;
  } cases[] = {
      {L"mysqld.exe", 3306},
      {L"", 3306},
      {L"mysqld.exe --console --port=3307", 3307},
      {L"mysqld.exe --port 3308", 3308},
      {L"mysqld.exe -P 3309", 3309},
      {L"mysqld.exe -P3310", 3310},
      {L"\"C:\\My SQL\\mysqld.exe\" --defaults-file=\"my.ini\" --port=3311", 3311},
      {L"mysqld.exe --port=3307 -P 3312", 3312},  // the last one wins, as for the server
      {L"mysqld.exe --port=0", 3306},
      {L"mysqld.exe --port=65536", 3306},
      {L"mysqld.exe --port=abc", 3306},
      {L"mysqld.exe --port=33o6", 3306},
      {L"mysqld.exe --port=", 3306},
      {L"mysqld.exe --port", 3306},
      {L"mysqld.exe -p 3307", 3306},  // -p is the password
      {L"mysqld.exe --port-open-timeout=5", 3306},
      {L"-P3307 mysqld.exe", 3306},  // the program's own name is no option
      {L"mysqld.exe --port=65535", 65535},
  };
  for (const Case& c : cases) EXPECT_EQ(mysqlPort(c.commandLine), c.port) << c.commandLine;
}

TEST(PortOwner, TheLineNamesWhatIsKnownOfTheOwner) {
  struct Case {
    USHORT port;
    const wchar_t* fileName;
    DWORD pid;
    const wchar_t* line;
  } cases[] = {
      {80, L"skype.exe", 1234, L"Порт 80 занят другой программой: skype.exe (PID: 1234)"},
      {3306, L"", 5678, L"Порт 3306 занят другой программой (PID: 5678)."},
      {3306, L"", 0, L"Порт 3306 занят другой программой."},
      {80, L"System", 4, L"Порт 80 занят системной службой HTTP Windows (PID: 4)."},
      {80, L"", 4, L"Порт 80 занят системной службой HTTP Windows (PID: 4)."},
  };
  for (const Case& c : cases) EXPECT_EQ(portTakenLine(c.port, c.fileName, c.pid), c.line) << c.pid;
}

// A real listener of this process, found in the system's table by its port.
TEST(PortOwner, ListenerOfThisProcessIsFoundOnItsPortAndGoneAfterwards) {
  e2e::LoopbackListener listener;
  ASSERT_NE(listener.port, 0) << "no listener";
  USHORT port = listener.port;

  DWORD owner = 12345;
  EXPECT_TRUE(findTcpListener(port, &owner));
  // Windows names the owner; Wine gives 0.
  EXPECT_TRUE(owner == GetCurrentProcessId() || owner == 0) << owner;
  if (owner != 0) {
    EXPECT_EQ(processFileName(owner), L"wendlor_unit_tests.exe");
  }

  listener.close();
  EXPECT_FALSE(findTcpListener(port, &owner));
}

TEST(PortOwner, FileNameOfAProcess) {
  EXPECT_EQ(processFileName(GetCurrentProcessId()), L"wendlor_unit_tests.exe");
  EXPECT_EQ(processFileName(0), L"");
  // What names a process that cannot be opened: the system's process list.
  EXPECT_EQ(listedProcessName(GetCurrentProcessId()), L"wendlor_unit_tests.exe");
}

}  // namespace
