#include "process/server_job.h"

#include "win/handles.h"
#include "win/process_image.h"
#include "win/text.h"

namespace {

bool setKillOnClose(HANDLE job, bool kill) {
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = kill ? JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE : 0;
  return SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits) != FALSE;
}

// Whether the job this process runs in, if any, lets a child be created outside it.
bool ownJobAllowsBreakaway() {
  BOOL inJob = FALSE;
  if (!IsProcessInJob(GetCurrentProcess(), nullptr, &inJob) || !inJob) return false;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  if (!QueryInformationJobObject(nullptr, JobObjectExtendedLimitInformation, &limits, sizeof limits, nullptr)) {
    return false;
  }
  return (limits.BasicLimitInformation.LimitFlags & JOB_OBJECT_LIMIT_BREAKAWAY_OK) != 0;
}

}  // namespace

bool ServerJob::create() {
  close();
  // Not inheritable: a server holding it would keep the job, and itself, alive.
  job = CreateJobObjectW(nullptr, nullptr);
  if (!job) return false;
  if (!setKillOnClose(job, true)) {
    closeHandle(job);
    return false;
  }
  breakaway = ownJobAllowsBreakaway();
  return true;
}

DWORD ServerJob::creationFlags() const {
  if (!job) return 0;
  return CREATE_SUSPENDED | (breakaway ? CREATE_BREAKAWAY_FROM_JOB : 0);
}

bool ServerJob::adopt(HANDLE process) {
  if (!job || !process) return false;
  return AssignProcessToJobObject(job, process) != FALSE;
}

void ServerJob::release() {
  if (job) setKillOnClose(job, false);
}

void ServerJob::rearm() {
  if (job) setKillOnClose(job, true);
}

std::vector<DWORD> ServerJob::processIds() const {
  std::vector<DWORD> ids;
  if (!job) return ids;
  // Room for a server's usual few processes; more are asked for again with room for all.
  DWORD room = 16;
  for (int attempt = 0; attempt < 4; ++attempt) {
    std::vector<ULONG_PTR> buffer(2 + room);
    auto* list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(buffer.data());
    BOOL listed = QueryInformationJobObject(job, JobObjectBasicProcessIdList, list,
                                            static_cast<DWORD>(buffer.size() * sizeof(ULONG_PTR)), nullptr);
    // A list that does not fit fails with ERROR_MORE_DATA; Wine's count of assigned processes may
    // also hold some that have ended, so only that failure asks for more room.
    if (listed) {
      for (DWORD i = 0; i < list->NumberOfProcessIdsInList; ++i) {
        ids.push_back(static_cast<DWORD>(list->ProcessIdList[i]));
      }
      return ids;
    }
    if (GetLastError() != ERROR_MORE_DATA) return ids;
    room = list->NumberOfAssignedProcesses + 16;
  }
  return ids;
}

namespace {

// A process of this job by its id; an id listed a moment ago may already name another process.
HANDLE openMember(HANDLE job, DWORD pid, DWORD access) {
  // IsProcessInJob takes either query right; Wine accepts only the full one.
  HANDLE process = OpenProcess(access | PROCESS_QUERY_INFORMATION, FALSE, pid);
  if (!process) process = OpenProcess(access | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  BOOL member = FALSE;
  if (process && (!IsProcessInJob(process, job, &member) || !member)) closeHandle(process);
  return process;
}

// The console host the system starts for a server's console may run in its job; it is not the
// server's, and it ends with the console's last program.
bool isConsoleHost(HANDLE process) {
  std::wstring path;
  if (!processImagePath(process, &path)) return false;
  return equalsIgnoringCase(fileNameOf(path), L"conhost.exe");
}

}  // namespace

HANDLE ServerJob::openRunningProcess() const {
  for (DWORD pid : processIds()) {
    HANDLE process = openMember(job, pid, SYNCHRONIZE);
    if (process && WaitForSingleObject(process, 0) == WAIT_TIMEOUT && !isConsoleHost(process)) return process;
    closeHandle(process);
  }
  return nullptr;
}

void ServerJob::terminateTree(HANDLE started, DWORD startedPid, UINT code) const {
  for (DWORD pid : processIds()) {
    if (pid == startedPid) continue;
    HANDLE process = openMember(job, pid, PROCESS_TERMINATE);
    if (process) TerminateProcess(process, code);
    closeHandle(process);
  }
  if (started) TerminateProcess(started, code);
  if (job) TerminateJobObject(job, code);
}

void ServerJob::close() {
  closeHandle(job);
}
