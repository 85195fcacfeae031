#include "orchestration/port_owner.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

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

TEST(PortOwner, TheLineNamesTheOwnerOnlyWhenKnown) {
  EXPECT_EQ(portTakenLine(80, L"skype.exe", 1234), L"Порт 80 занят другой программой: skype.exe (PID: 1234)");
  EXPECT_EQ(portTakenLine(3306, L"", 0), L"Порт 3306 занят другой программой.");
}

// A real listener of this process, found in the system's table by its port.
TEST(PortOwner, ListenerOfThisProcessIsFoundOnItsPortAndGoneAfterwards) {
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  ASSERT_NE(listener, INVALID_SOCKET);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  int size = sizeof address;
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
  USHORT port = ntohs(address.sin_port);

  DWORD owner = 12345;
  EXPECT_TRUE(findTcpListener(port, &owner));
  // Windows names the owner; Wine gives 0.
  EXPECT_TRUE(owner == GetCurrentProcessId() || owner == 0) << owner;
  if (owner != 0) {
    EXPECT_EQ(processFileName(owner), L"wendlor_unit_tests.exe");
  }

  closesocket(listener);
  EXPECT_FALSE(findTcpListener(port, &owner));
  WSACleanup();
}

TEST(PortOwner, FileNameOfAProcess) {
  EXPECT_EQ(processFileName(GetCurrentProcessId()), L"wendlor_unit_tests.exe");
  EXPECT_EQ(processFileName(0), L"");
}

}  // namespace
