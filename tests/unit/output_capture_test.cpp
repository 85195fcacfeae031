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
  // The same bytes in the ANSI code pages the program meets (OEM 437 and 866 read them otherwise).
  EXPECT_EQ(decodeAnsi(""), L"");
  std::string bytes = "caf\xE9 \x80";
  if (GetACP() == 1252) {
    EXPECT_EQ(decodeAnsi(bytes), L"caf\u00E9 \u20AC");
  } else if (GetACP() == 1251) {
    EXPECT_EQ(decodeAnsi(bytes), L"caf\u0439 \u0402");
  } else {
    GTEST_SKIP() << "no expected text for ANSI code page " << GetACP();
  }
}

TEST(OutputCapture, StreamIsUtf8OnlyWhenAllOfItIsAndNotPlainAscii) {
  struct Case {
    const char* name;
    std::string bytes;
    bool cut;
    bool utf8;
    std::wstring text;  // with UTF-8; else the bytes in the ANSI code page
  };
  const Case cases[] = {
      {"Cyrillic", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\r\n", false, true, L"Привет\r\n"},
      {"plain ASCII", "ok\r\n", false, false, L""},
      {"Western ANSI", "caf\xE9 \x80", false, false, L""},
      {"Cyrillic ANSI", "\xCF\xF0\xE8\xE2\xE5\xF2", false, false, L""},
      {"cut inside a sequence", "\xB8\xD0\xB2\xD0\xB5\xD1\x82", true, true, L"вет"},
      {"uncut stream starting inside a sequence", "\xB8\xD0\xB2\xD0\xB5\xD1\x82", false, false, L""},
      {"cut inside a four-byte sequence", "\x9F\x98\x80ok \xD0\xAF", true, true, L"ok Я"},
      {"cut before four continuation bytes", "\x80\x80\x80\x80\xD0\xAF", true, false, L""},
      {"incomplete two-byte sequence at the end", "\xD0\x9F\xD0\xBE\xD1", false, true, L"По"},
      {"incomplete three-byte sequence at the end", "\xD0\xAF \xE2\x82", false, true, L"Я "},
      {"only a partial sequence besides ASCII", "ok \xD0", false, false, L""},
      {"broken sequence at the end", "\xD0\xAF\xE2\x41", false, false, L""},
      {"overlong form", "\xC0\xAF\xD0\xAF", false, false, L""},
      {"surrogate", "\xED\xA0\x80\xD0\xAF", false, false, L""},
      {"empty", "", false, false, L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(judgeEncoding(c.bytes, c.cut).utf8, c.utf8);
    DrainStream stream;
    stream.bytes = c.bytes;
    stream.cut = c.cut;
    std::wstring text = c.utf8 ? c.text : decodeAnsi(c.bytes);
    EXPECT_EQ(drainedText(stream), (c.cut ? std::wstring(kOutputCutNote) : std::wstring()) + text);
  }
}

TEST(OutputCapture, KeptBytesJoinWhatIsTakenUnlessTheTakenPartWasCut) {
  DrainStream kept;
  DrainStream taken;
  taken.bytes = "ab";
  keepTaken(kept, taken);
  taken.bytes = "cd";
  keepTaken(kept, taken);
  EXPECT_EQ(kept.bytes, "abcd");
  EXPECT_FALSE(kept.cut);
  taken.cut = true;
  keepTaken(kept, taken);
  EXPECT_EQ(kept.bytes, "cd");
  EXPECT_TRUE(kept.cut);
  taken = DrainStream();
  taken.bytes = "e";
  keepTaken(kept, taken);
  EXPECT_EQ(kept.bytes, "cde");
  EXPECT_TRUE(kept.cut);
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
  EXPECT_EQ(record.readOutput(), L"BC\r\nA");
  // A pipe whose writer is gone still gives what it holds, then is skipped.
  put(errWrite, "D");
  CloseHandle(errWrite);
  errWrite = nullptr;
  EXPECT_EQ(record.readOutput(), L"BC\r\nAD");
  EXPECT_EQ(record.readOutput(), L"BC\r\nAD");
  EXPECT_EQ(record.streamText(kStandardOutput), L"BC\r\n");
  EXPECT_EQ(record.streamText(kStandardError), L"AD");
}

// A character may come in two reads; each stream's code page is its own.
TEST_F(OutputCapturePipes, CharacterSplitAcrossReadsIsHeldBackUntilWhole) {
  put(outWrite, "\xD0\xAF \xD0");
  put(errWrite, "\xC4");
  EXPECT_EQ(record.readOutput(), L"Я " + decodeAnsi("\xC4"));
  put(outWrite, "\x9F\r\n");
  EXPECT_EQ(record.readOutput(), L"Я П\r\n" + decodeAnsi("\xC4"));
}

}  // namespace
