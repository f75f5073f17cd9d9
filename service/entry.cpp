// SPDX-License-Identifier: Apache-2.0
// The process entry: hands the one service to the dispatcher and ends the
// process with exit code 1 once it has stopped.
#include "service/service.h"

// The service table lives for the whole process.
static SERVICE_TABLE_ENTRYA ServiceTable[] = {
    {const_cast<LPSTR>(ServiceName), ServiceMain},
    {nullptr, nullptr},
};

// Hands the service to the dispatcher and, once it has stopped, ends the
// process with 1; a record write in progress is finished first, and none
// starts after it.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    StartServiceCtrlDispatcherA(ServiceTable);
    AcquireSRWLockExclusive(&RecordLock);
    return 1;
}
