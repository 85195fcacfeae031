#include "process/output_capture.h"

#include <gtest/gtest.h>

#include <string>

#include "process/child_process.h"

namespace {

TEST(OutputCapture, BoundedBufferKeepsTheNewestBytesAndSaysWhenItCut) {
  DrainStream stream;
  appendBounded(stream, "abcdef", 6, 4);
  EXPECT_EQ(stream.bytes, "abcdef");  // up to twice the bound is held as it came
  EXPECT_FALSE(stream.cut);
  appendBounded(stream, "gh", 2, 4);
  EXPECT_EQ(stream.bytes, "abcdefgh");
  appendBounded(stream, "i", 1, 4);
  EXPECT_EQ(stream.bytes, "fghi");
  EXPECT_TRUE(stream.cut);
  EXPECT_EQ(drainedText(stream), std::wstring(kOutputCutNote) + L"fghi");

  DrainStream whole;
  appendBounded(whole, "ok\r\n", 4);
  EXPECT_EQ(drainedText(whole), L"ok\r\n");
}

TEST(OutputCapture, DecodesWithTheAnsiCodePageNotTheOem) {
  std::string bytes = "caf\xE9 \x80";
  wchar_t expected[8] = {};
  ASSERT_GT(MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), expected, 8), 0);
  EXPECT_EQ(decodeAnsi(bytes), expected);
  if (GetACP() != GetOEMCP()) {
    wchar_t oem[8] = {};
    MultiByteToWideChar(CP_OEMCP, 0, bytes.data(), static_cast<int>(bytes.size()), oem, 8);
    EXPECT_NE(decodeAnsi(bytes), oem);
  }
  EXPECT_EQ(decodeAnsi(""), L"");
}

// A record whose pipes we fill ourselves: no child and no readers, so readOutput peeks and reads.
struct OutputCapturePipes : ::testing::Test {
  ChildProcess record;
  HANDLE outWrite = nullptr;
  HANDLE errWrite = nullptr;
  void SetUp() override {
    ASSERT_TRUE(CreatePipe(&record.stdoutRead, &outWrite, nullptr, 0));
    ASSERT_TRUE(CreatePipe(&record.stderrRead, &errWrite, nullptr, 0));
  }
  void TearDown() override {
    if (outWrite) CloseHandle(outWrite);
    if (errWrite) CloseHandle(errWrite);
  }
  static void put(HANDLE pipe, const std::string& bytes) {
    DWORD written = 0;
    WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  }
};

TEST_F(OutputCapturePipes, StandardOutputComesFirstAndCallsAccumulate) {
  EXPECT_EQ(record.readOutput(), L"");  // empty pipes never block
  put(errWrite, "A");
  put(outWrite, "B");
  EXPECT_EQ(record.readOutput(), L"BA");
  put(outWrite, "C\r\n");
  EXPECT_EQ(record.readOutput(), L"BAC\r\n");
  // A pipe whose writer is gone still gives what it holds, then is skipped.
  put(errWrite, "D");
  CloseHandle(errWrite);
  errWrite = nullptr;
  EXPECT_EQ(record.readOutput(), L"BAC\r\nD");
  EXPECT_EQ(record.readOutput(), L"BAC\r\nD");
}

}  // namespace
