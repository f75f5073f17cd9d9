// SPDX-License-Identifier: Apache-2.0
// The service's operating-system operations on POSIX (Linux), apart from
// files, the lock and the dispatcher: the clock in the zone in force, the
// executable's path, the system's error texts and the power-off request.
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <linux/capability.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/platform.h"

// The zone in force is /etc/localtime. The C library reads it once and looks
// at it again only when tzset asks, at the cost of system calls each time,
// which would be more for every heartbeat. So the heartbeat's sleep waits on
// a watch of /etc and of the zone's file, and on the mount table, which poll
// signals when the mounts change (a zone bound over /etc/localtime, as a
// container's is): on a change the C library reads the zone again at once,
// and a heartbeat pays nothing for it. Where no watch can be set, every
// reading of the clock asks. A zone that TZ names is the process's own and
// stays.
static const char ZoneFolder[] = "/etc";
static const char ZoneFile[] = "/etc/localtime";
static const char MountTable[] = "/proc/self/mountinfo";
static pthread_once_t ZoneWatchStarted = PTHREAD_ONCE_INIT;
static int ZoneWatch = -1;
static int MountWatch = -1;
static bool ZoneUnwatched;

// The file that stands at /etc/localtime now, rewritten in place or removed.
static void WatchZoneFile()
{
    inotify_add_watch(ZoneWatch, ZoneFile, IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF);
}

static void StartZoneWatch()
{
    if (getenv("TZ") != nullptr)
        return;
    ZoneWatch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    // The table's file descriptor signals the mounts of this process's own
    // namespace as they change after it is opened.
    MountWatch = open(MountTable, O_RDONLY | O_CLOEXEC);
    // The zone's file is replaced in /etc (a new link renamed over it), or
    // created there: the folder is what must be watched.
    ZoneUnwatched = ZoneWatch < 0 || MountWatch < 0 ||
                    inotify_add_watch(ZoneWatch, ZoneFolder, IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO) < 0;
    if (!ZoneUnwatched)
        WatchZoneFile();
    // A change before the watch is read now.
    tzset();
}

// Has the C library read the zone again where no watch tells of changes.
static void FollowZone()
{
    pthread_once(&ZoneWatchStarted, StartZoneWatch);
    if (ZoneUnwatched)
        tzset();
}

// After a change the watches signalled: the zone read again, and the file
// that stands at /etc/localtime now watched.
static void ReadZoneAgain()
{
    char events[4096];
    while (read(ZoneWatch, events, sizeof events) > 0) {
    }
    WatchZoneFile();
    tzset();
}

void WINAPI GetLocalTime(SYSTEMTIME* time)
{
    FollowZone();
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm local;
    localtime_r(&now.tv_sec, &local);
    SystemTimeOf(local, now.tv_nsec / 1000000, time);
}

// UTC, which needs no zone.
void WINAPI GetSystemTime(SYSTEMTIME* time)
{
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm utc;
    gmtime_r(&now.tv_sec, &utc);
    SystemTimeOf(utc, now.tv_nsec / 1000000, time);
}

static int64_t MonotonicNanoseconds()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Sleeps the full time, waiting on the zone's watches: neither a change they
// signal, which is read at once, nor a signal cuts it short.
void WINAPI Sleep(DWORD milliseconds)
{
    pthread_once(&ZoneWatchStarted, StartZoneWatch);
    struct pollfd watches[] = {{ZoneWatch, POLLIN, 0}, {MountWatch, POLLPRI, 0}};
    nfds_t count = ZoneUnwatched || ZoneWatch < 0 ? 0 : 2;
    int64_t end = MonotonicNanoseconds() + static_cast<int64_t>(milliseconds) * 1000000;
    for (int64_t left = milliseconds; left > 0; left = (end - MonotonicNanoseconds() + 999999) / 1000000) {
        int ready = poll(watches, count, left < INT_MAX ? static_cast<int>(left) : INT_MAX);
        if (ready == 0)
            return;
        if (ready > 0)
            ReadZoneAgain();
        else if (errno != EINTR)
            count = 0;
    }
}

// As on Windows: the length copied, or size when the path was cut to fit.
DWORD WINAPI GetModuleFileNameA(HMODULE, LPSTR path, DWORD size)
{
    if (size == 0)
        return 0;
    ssize_t length = readlink("/proc/self/exe", path, size);
    if (length < 0) {
        path[0] = '\0';
        return 0;
    }
    if (static_cast<DWORD>(length) >= size) {
        path[size - 1] = '\0';
        return size;
    }
    path[length] = '\0';
    return static_cast<DWORD>(length);
}

// The C library's text for an errno value, ended with CR LF as Windows ends
// its message texts: allocated, or into the caller's buffer of size bytes; 0
// when there is no text for the code or it does not fit.
DWORD WINAPI FormatMessageA(DWORD flags, const void*, DWORD code, DWORD, LPSTR buffer, DWORD size, void*)
{
    const DWORD allocated = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER;
    const DWORD given = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    const char* description = strerrordesc_np(static_cast<int>(code));
    if ((flags != allocated && flags != given) || description == nullptr) {
        errno = EINVAL;
        return 0;
    }
    size_t length = strlen(description) + 2;
    char* text = buffer;
    if (flags == allocated)
        text = static_cast<char*>(malloc(length + 1));
    else if (length >= size)
        text = nullptr;
    if (text == nullptr) {
        errno = flags == allocated ? ENOMEM : ERANGE;
        return 0;
    }
    memcpy(text, description, length - 2);
    memcpy(text + length - 2, "\r\n", 3);
    if (flags == allocated)
        *reinterpret_cast<char**>(buffer) = text;
    return static_cast<DWORD>(length);
}

HLOCAL WINAPI LocalFree(HLOCAL memory)
{
    free(memory);
    return nullptr;
}

// Like the NT family, the process needs a privilege, here a capability, to
// shut the machine down.
BOOL WINAPI GetVersionExA(OSVERSIONINFOA* version)
{
    if (version->dwOSVersionInfoSize != sizeof *version) {
        errno = EINVAL;
        return FALSE;
    }
    version->dwPlatformId = VER_PLATFORM_WIN32_NT;
    return TRUE;
}

static int ProcessToken;

HANDLE WINAPI GetCurrentProcess()
{
    return reinterpret_cast<HANDLE>(-1);
}

BOOL WINAPI OpenProcessToken(HANDLE process, DWORD, PHANDLE token)
{
    if (process != GetCurrentProcess()) {
        errno = ESRCH;
        return FALSE;
    }
    *token = &ProcessToken;
    return TRUE;
}

// The one privilege known here is the shutdown privilege, which is the
// capability CAP_SYS_BOOT.
BOOL WINAPI LookupPrivilegeValueA(LPCSTR system, LPCSTR name, LUID* luid)
{
    if (system != nullptr || strcmp(name, SE_SHUTDOWN_NAME) != 0) {
        errno = EINVAL;
        return FALSE;
    }
    *luid = LUID{CAP_SYS_BOOT, 0};
    return TRUE;
}

// A privilege counts as enabled when its capability is in the effective set.
// As on Windows the call succeeds either way; the last error is 0 only when
// every privilege asked for is held.
BOOL WINAPI AdjustTokenPrivileges(HANDLE token, BOOL, PTOKEN_PRIVILEGES state, DWORD, PTOKEN_PRIVILEGES, DWORD*)
{
    if (token != &ProcessToken) {
        errno = EBADF;
        return FALSE;
    }
    __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct sets[_LINUX_CAPABILITY_U32S_3];
    if (syscall(SYS_capget, &header, sets) != 0)
        return FALSE;
    bool held = true;
    for (DWORD i = 0; i < state->PrivilegeCount; i++) {
        DWORD capability = state->Privileges[i].Luid.LowPart;
        held = held && capability < 32 * _LINUX_CAPABILITY_U32S_3 &&
               (sets[capability / 32].effective & (1u << (capability % 32))) != 0;
    }
    errno = held ? 0 : EPERM;
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE handle)
{
    if (handle != &ProcessToken) {
        errno = EBADF;
        return FALSE;
    }
    return TRUE;
}

// Asks the init system for an orderly power-off and returns at once: a
// detached "systemctl poweroff", whose own process is not waited for. The
// init system then stops the service like at any shutdown.
BOOL WINAPI ExitWindowsEx(unsigned flags, DWORD)
{
    if (flags != EWX_SHUTDOWN) {
        errno = EINVAL;
        return FALSE;
    }
    static const char* const Systemctl[] = {"/usr/bin/systemctl", "/bin/systemctl"};
    char* const arguments[] = {const_cast<char*>("systemctl"), const_cast<char*>("poweroff"), nullptr};
    pid_t child = fork();
    if (child < 0)
        return FALSE;
    if (child == 0) {
        // Only async-signal-safe calls between fork and exec.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        signal(SIGPIPE, SIG_DFL);
        setsid();
        if (fork() == 0) {
            for (const char* path : Systemctl)
                execve(path, arguments, environ);
        }
        _exit(0);
    }
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    return TRUE;
}
