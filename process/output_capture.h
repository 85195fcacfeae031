#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// A web server that writes more than a pipe holds would block in its writes and stop serving,
// so each captured pipe has a reader thread that keeps it empty for as long as the child runs.

// Newest output kept per stream when nobody collects it; a stream is cut back to this size once it
// holds twice as much, so at least this much of its end is always there.
constexpr size_t kOutputKeepBytes = 64 * 1024;
constexpr DWORD kOutputReadChunk = 64 * 1024;
// Longest wait, once the child has ended, for the readers to take the last bytes from the pipes.
constexpr DWORD kOutputSettleMs = 500;
// Put in front of a stream's text when its older part was dropped.
constexpr wchar_t kOutputCutNote[] = L"[... начало вывода обрезано ...]\r\n";

// Index of each stream in the pairs below.
constexpr int kStandardOutput = 0;
constexpr int kStandardError = 1;

// Bytes of one stream gathered since they were last taken (or, in a ChildProcess, kept so far).
struct DrainStream {
  std::string bytes;
  bool cut = false;  // older bytes were dropped
};

// Shared by a ChildProcess and its reader threads; the last of them to let go frees it, so a
// reader still blocked after close touches nothing that was freed.
struct OutputDrain {
  CRITICAL_SECTION lock;
  DrainStream streams[2];  // standard output, standard error
  bool abandoned = false;  // the record is gone; readers drop what they read
  LONG references = 1;
};

// Appends data to stream, dropping the oldest bytes beyond kOutputKeepBytes once twice that is held.
void appendBounded(DrainStream& stream, const char* data, size_t size, size_t keep = kOutputKeepBytes);

// Adds bytes just taken from the drain to those kept of the same stream, dropping the oldest
// beyond kOutputKeepBytes; kept bytes older than a cut no longer join up, so they go.
void keepTaken(DrainStream& kept, const DrainStream& taken);

// Decodes bytes with the system's ANSI code page; empty when they do not convert.
std::wstring decodeAnsi(const std::string& bytes);

// How a stream's kept bytes are decoded. Console programs write in the ANSI code page, in UTF-8 or
// in the OEM code page, and say nothing of which; UTF-8 is told by its strict form, the OEM code
// page cannot be told from the ANSI one.
struct StreamEncoding {
  bool utf8 = false;  // else ANSI
  size_t begin = 0;   // with UTF-8, past the tail of a sequence whose start was cut off
  size_t end = 0;     // with UTF-8, where a sequence starts that is not yet complete
};

// UTF-8 when the bytes, judged as a whole, are valid UTF-8 and not plain ASCII; else ANSI, over
// all of them. After a cut the first bytes may be the tail of a sequence, and the last bytes may
// be a sequence whose rest is still on its way: neither counts against UTF-8.
StreamEncoding judgeEncoding(const std::string& bytes, bool cut);

// The bytes decoded as judgeEncoding says (cut: older bytes were dropped before them).
std::wstring decodeJudged(const std::string& bytes, bool cut);

// The text of one stream's gathered bytes: the cut note when older ones were dropped, then the
// bytes decoded as judgeEncoding says.
std::wstring drainedText(const DrainStream& stream);

// Makes the shared state and starts one reader per pipe on a private duplicate of it. The reader
// thread handles land in readers[0] and readers[1] (null where a pipe is null or a start failed).
OutputDrain* startOutputDrain(HANDLE stdoutPipe, HANDLE stderrPipe, HANDLE readers[2]);

// Moves the bytes gathered so far out of the drain.
void takeDrainedOutput(OutputDrain* drain, DrainStream& out, DrainStream& err);

// Lets go of the drain without waiting: blocked reads are cancelled, readers that cannot be
// cancelled end by themselves when the pipe breaks. Closes the reader thread handles.
void releaseOutputDrain(OutputDrain*& drain, HANDLE readers[2]);
