#include "process/server_job.h"

#include "win/handles.h"

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

void ServerJob::close() {
  closeHandle(job);
}
