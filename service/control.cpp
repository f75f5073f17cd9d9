// SPDX-License-Identifier: Apache-2.0
// The control handler: a stop or shutdown closes the run with DOWN; every
// control is answered with the status record.
#include "service/service.h"

#include "uptime/errlog.h"
#include "uptime/log.h"

// A stop or shutdown closes the run with the DOWN line and stops the service;
// every control is answered with the status record.
void WINAPI ServiceCtrlHandler(DWORD control)
{
    AcquireSRWLockExclusive(&RecordLock);
    if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
        WriteDownRecord();
        ServiceStatus.dwWin32ExitCode = 0;
        ServiceStatus.dwControlsAccepted = SERVICE_ACCEPT_STOP;
        ServiceStatus.dwCurrentState = SERVICE_STOPPED;
        ServiceStatus.dwCheckPoint = 0;
        ServiceStatus.dwWaitHint = 0;
    }
    if (!SetServiceStatus(StatusHandle, &ServiceStatus))
        LogError("SetServiceStatus");
    ReleaseSRWLockExclusive(&RecordLock);
}
