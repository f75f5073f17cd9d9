// SPDX-License-Identifier: Apache-2.0
// The scheduled power-off request, with the shutdown privilege it needs.
#include "service/service.h"

// On the NT family the shutdown privilege must be enabled in the process's
// token before the request; elsewhere the request is made directly.
static bool EnableShutdownPrivilege(DWORD* error)
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        *error = GetLastError();
        return false;
    }

    TOKEN_PRIVILEGES privileges = {};
    if (LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid)) {
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    }
    // The lookup's failure, or the adjustment's: that call succeeds even when
    // it assigned nothing, and the last error tells.
    *error = GetLastError();
    CloseHandle(token);
    return *error == 0;
}

bool PowerOffSystem(DWORD* error)
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    *error = 0;
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT && !EnableShutdownPrivilege(error))
        return false;
    if (!ExitWindowsEx(EWX_SHUTDOWN, 0)) {
        *error = GetLastError();
        return false;
    }
    return true;
}

static_assert(sizeof(OSVERSIONINFOA) == 148, "GetVersionExA is passed a record of 148 bytes");
