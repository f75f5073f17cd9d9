// SPDX-License-Identifier: Apache-2.0
// The scheduled power-off request, with the shutdown privilege it needs.
#include "service/service.h"

// On the NT family the shutdown privilege must be enabled in the process's
// token before the request; elsewhere the request is made directly.
static bool EnableShutdownPrivilege()
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return false;

    TOKEN_PRIVILEGES privileges = {};
    bool enabled = LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid);
    if (enabled) {
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
        // The call succeeds even when it assigned nothing; the last error tells.
        enabled = GetLastError() == 0;
    }
    CloseHandle(token);
    return enabled;
}

bool PowerOffSystem()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT && !EnableShutdownPrivilege())
        return false;
    ExitWindowsEx(EWX_SHUTDOWN, 0);
    return true;
}

static_assert(sizeof(OSVERSIONINFOA) == 148, "GetVersionExA is passed a record of 148 bytes");
