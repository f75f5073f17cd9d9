// SPDX-License-Identifier: Apache-2.0
// SRWLOCK, the slim lock, on POSIX: a mutex that needs no initialisation
// call, used by the host and by the test double alike.
#include "platform/platform.h"

void WINAPI AcquireSRWLockExclusive(SRWLOCK* lock)
{
    pthread_mutex_lock(&lock->Mutex);
}

void WINAPI ReleaseSRWLockExclusive(SRWLOCK* lock)
{
    pthread_mutex_unlock(&lock->Mutex);
}
