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

// Bytes of one stream gathered since they were last taken.
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

// Decodes bytes with the system's ANSI code page; empty when they do not convert.
std::wstring decodeAnsi(const std::string& bytes);

// The text of one stream's gathered bytes: the cut note when older ones were dropped, then the bytes.
std::wstring drainedText(const DrainStream& stream);

// Makes the shared state and starts one reader per pipe on a private duplicate of it. The reader
// thread handles land in readers[0] and readers[1] (null where a pipe is null or a start failed).
OutputDrain* startOutputDrain(HANDLE stdoutPipe, HANDLE stderrPipe, HANDLE readers[2]);

// Moves the bytes gathered so far out of the drain.
void takeDrainedOutput(OutputDrain* drain, DrainStream& out, DrainStream& err);

// Lets go of the drain without waiting: blocked reads are cancelled, readers that cannot be
// cancelled end by themselves when the pipe breaks. Closes the reader thread handles.
void releaseOutputDrain(OutputDrain*& drain, HANDLE readers[2]);
