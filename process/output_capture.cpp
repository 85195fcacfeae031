#include "process/output_capture.h"

#include <vector>

#include "app/handles.h"

namespace {

struct DrainReader {
  OutputDrain* drain;
  HANDLE pipe;  // this reader's own duplicate of the read end
  int stream;
};

void dropReference(OutputDrain* drain) {
  if (InterlockedDecrement(&drain->references) == 0) {
    DeleteCriticalSection(&drain->lock);
    delete drain;
  }
}

bool isAbandoned(OutputDrain* drain) {
  EnterCriticalSection(&drain->lock);
  bool abandoned = drain->abandoned;
  LeaveCriticalSection(&drain->lock);
  return abandoned;
}

DWORD WINAPI readPipe(void* parameter) {
  auto* reader = static_cast<DrainReader*>(parameter);
  std::vector<char> chunk(kOutputReadChunk);
  while (!isAbandoned(reader->drain)) {
    DWORD got = 0;
    // Ends when every writer is gone (broken pipe) or when close cancels the read.
    if (!ReadFile(reader->pipe, chunk.data(), kOutputReadChunk, &got, nullptr)) break;
    if (got == 0) continue;
    EnterCriticalSection(&reader->drain->lock);
    if (!reader->drain->abandoned) appendBounded(reader->drain->streams[reader->stream], chunk.data(), got);
    LeaveCriticalSection(&reader->drain->lock);
  }
  closeHandle(reader->pipe);
  dropReference(reader->drain);
  delete reader;
  return 0;
}

HANDLE startReader(OutputDrain* drain, HANDLE pipe, int stream) {
  if (!pipe) return nullptr;
  HANDLE self = GetCurrentProcess();
  HANDLE own = nullptr;
  if (!DuplicateHandle(self, pipe, self, &own, 0, FALSE, DUPLICATE_SAME_ACCESS)) return nullptr;
  auto* reader = new DrainReader{drain, own, stream};
  InterlockedIncrement(&drain->references);
  HANDLE thread = CreateThread(nullptr, 64 * 1024, readPipe, reader, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (!thread) {
    closeHandle(reader->pipe);
    delete reader;
    dropReference(drain);
  }
  return thread;
}

}  // namespace

void appendBounded(DrainStream& stream, const char* data, size_t size, size_t keep) {
  stream.bytes.append(data, size);
  if (stream.bytes.size() > 2 * keep) {
    stream.bytes.erase(0, stream.bytes.size() - keep);
    stream.cut = true;
  }
}

std::wstring decodeAnsi(const std::string& bytes) {
  if (bytes.empty()) return std::wstring();
  int length = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring text(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], length);
  return text;
}

std::wstring drainedText(const DrainStream& stream) {
  std::wstring text = decodeAnsi(stream.bytes);
  if (stream.cut) text.insert(0, kOutputCutNote);
  return text;
}

OutputDrain* startOutputDrain(HANDLE stdoutPipe, HANDLE stderrPipe, HANDLE readers[2]) {
  auto* drain = new OutputDrain;
  InitializeCriticalSection(&drain->lock);
  readers[0] = startReader(drain, stdoutPipe, 0);
  readers[1] = startReader(drain, stderrPipe, 1);
  return drain;
}

void takeDrainedOutput(OutputDrain* drain, DrainStream& out, DrainStream& err) {
  out = DrainStream();
  err = DrainStream();
  if (!drain) return;
  EnterCriticalSection(&drain->lock);
  out.bytes.swap(drain->streams[0].bytes);
  out.cut = drain->streams[0].cut;
  drain->streams[0].cut = false;
  err.bytes.swap(drain->streams[1].bytes);
  err.cut = drain->streams[1].cut;
  drain->streams[1].cut = false;
  LeaveCriticalSection(&drain->lock);
}

void releaseOutputDrain(OutputDrain*& drain, HANDLE readers[2]) {
  if (drain) {
    EnterCriticalSection(&drain->lock);
    drain->abandoned = true;
    LeaveCriticalSection(&drain->lock);
  }
  for (int i = 0; i < 2; ++i) {
    // A reader between two reads sees the flag; one blocked in ReadFile is woken here, or, where
    // that fails, ends with the last writer (a grandchild of the server may hold it for long).
    if (readers[i]) CancelSynchronousIo(readers[i]);
    closeHandle(readers[i]);
  }
  if (drain) {
    dropReference(drain);
    drain = nullptr;
  }
}
