#include "process/output_capture.h"

#include <vector>

#include "win/handles.h"
#include "win/text.h"

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

bool isContinuation(char byte) {
  return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// Length of the UTF-8 sequence that lead starts, 0 when none starts with it. low and high bound
// its second byte, which rules out overlong forms, surrogates and code points past U+10FFFF.
size_t sequenceLength(unsigned char lead, unsigned char& low, unsigned char& high) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead == 0xE0) low = 0xA0;
  if (lead == 0xED) high = 0x9F;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead == 0xF0) low = 0x90;
  if (lead == 0xF4) high = 0x8F;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

}  // namespace

void appendBounded(DrainStream& stream, const char* data, size_t size, size_t keep) {
  stream.bytes.append(data, size);
  if (stream.bytes.size() > 2 * keep) {
    stream.bytes.erase(0, stream.bytes.size() - keep);
    stream.cut = true;
  }
}

void keepTaken(DrainStream& kept, const DrainStream& taken) {
  if (taken.cut) kept = DrainStream();
  appendBounded(kept, taken.bytes.data(), taken.bytes.size());
  kept.cut = kept.cut || taken.cut;
}

std::wstring decodeAnsi(const std::string& bytes) {
  return decodeText(CP_ACP, bytes.data(), bytes.size());
}

StreamEncoding judgeEncoding(const std::string& bytes, bool cut) {
  StreamEncoding ansi;
  ansi.end = bytes.size();
  StreamEncoding judged;
  size_t size = bytes.size();
  size_t at = 0;
  // Older bytes are dropped by count, so a cut may leave up to three bytes of a sequence.
  while (cut && at < 3 && at < size && isContinuation(bytes[at])) ++at;
  judged.begin = at;
  bool plain = true;
  while (at < size) {
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    size_t length = sequenceLength(static_cast<unsigned char>(bytes[at]), low, high);
    if (length == 0) return ansi;
    if (length == 1) {
      ++at;
      continue;
    }
    size_t present = size - at < length ? size - at : length;
    for (size_t i = 1; i < present; ++i) {
      auto byte = static_cast<unsigned char>(bytes[at + i]);
      if (i == 1 ? byte < low || byte > high : !isContinuation(bytes[at + i])) return ansi;
    }
    if (present < length) break;  // its rest is still to come
    plain = false;
    at += length;
  }
  if (plain) return ansi;
  judged.utf8 = true;
  judged.end = at;
  return judged;
}

std::wstring decodeJudged(const std::string& bytes, bool cut) {
  StreamEncoding encoding = judgeEncoding(bytes, cut);
  return decodeText(encoding.utf8 ? CP_UTF8 : CP_ACP, bytes.data() + encoding.begin, encoding.end - encoding.begin);
}

std::wstring drainedText(const DrainStream& stream) {
  std::wstring text = decodeJudged(stream.bytes, stream.cut);
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
