// SPDX-License-Identifier: Apache-2.0
// Service main: start-up, the running report and the heartbeat that rewrites
// the closing line every 30 seconds and powers off at the scheduled minute.
#include "service/service.h"

#include "uptime/errlog.h"
#include "uptime/events.h"
#include "uptime/log.h"
#include "uptime/schedule.h"

SERVICE_STATUS ServiceStatus;
SERVICE_STATUS_HANDLE StatusHandle;
SRWLOCK RecordLock = SRWLOCK_INIT;
// Set while the power-off of the scheduled minute cannot be requested, so
// that it is said once a minute, however many ticks fall into it. The service
// thread's alone.
static bool PowerOffFailing;

// Requests the power-off in the scheduled minute, and says when it cannot.
static void RequestPowerOff(bool due)
{
    DWORD error = 0;
    bool requested = !due || PowerOffSystem(&error);
    if (!requested && !PowerOffFailing) {
        char reason[SystemMessageSize];
        SystemMessage(error, reason);
        SayServiceEvent(EventPowerOffFailed, "cannot power off: %s", reason);
    }
    PowerOffFailing = !requested;
}

// One heartbeat: the closing CRASH line with the current minute while the
// service runs, after the run's UP line if start-up could not write it, and
// PDOWN with the power-off request in the scheduled minute (or the first one
// after summer time skipped it), whether or not a stop came in meanwhile.
static void Heartbeat()
{
    Sleep(HeartbeatMilliseconds);
    SYSTEMTIME now;
    SYSTEMTIME utc;
    GetLocalTime(&now);
    GetSystemTime(&utc);

    AcquireSRWLockExclusive(&RecordLock);
    if (ServiceStatus.dwCurrentState == SERVICE_RUNNING) {
        if (RecordOffset < 0)
            WriteUpRecord();
        WriteLogRecord(RecordOffset, CrashFormat, now.wDay, MinuteOfDay(now));
    }
    bool due = PowerOffDueAt(now, utc);
    if (due)
        WriteLogRecord(RecordOffset, PdownFormat, now.wDay, MinuteOfDay(now));
    ReleaseSRWLockExclusive(&RecordLock);

    RequestPowerOff(due);
}

static bool Stopped()
{
    AcquireSRWLockExclusive(&RecordLock);
    bool stopped = ServiceStatus.dwCurrentState == SERVICE_STOPPED;
    ReleaseSRWLockExclusive(&RecordLock);
    return stopped;
}

void WINAPI ServiceMain(DWORD, LPSTR*)
{
    // Held through start-up, so that a control sees the record either as it
    // was at entry or complete with the running state.
    AcquireSRWLockExclusive(&RecordLock);
    ServiceStatus.dwServiceType = SERVICE_WIN32;
    ServiceStatus.dwCurrentState = SERVICE_START_PENDING;
    ServiceStatus.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
    ServiceStatus.dwWin32ExitCode = 0;
    ServiceStatus.dwServiceSpecificExitCode = 0;
    ServiceStatus.dwCheckPoint = 0;
    ServiceStatus.dwWaitHint = 0;

    PowerOffFailing = false;

    StatusHandle = RegisterServiceCtrlHandlerA(ServiceName, ServiceCtrlHandler);
    if (StatusHandle == 0)
        LogError("RegisterServiceCtrlHandler");

    ServiceInitialization();

    ServiceStatus.dwCurrentState = SERVICE_RUNNING;
    ServiceStatus.dwCheckPoint = 0;
    ServiceStatus.dwWaitHint = 0;
    bool reported = SetServiceStatus(StatusHandle, &ServiceStatus);
    if (!reported)
        LogError("SetServiceStatus");
    ReleaseSRWLockExclusive(&RecordLock);
    if (!reported)
        return;

    while (!Stopped())
        Heartbeat();
}
