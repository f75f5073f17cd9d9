// SPDX-License-Identifier: Apache-2.0
// The service's operating-system operations on POSIX (Linux), apart from
// files, the lock and the dispatcher: the clock in the zone in force, the
// executable's path, the system's error texts and the power-off request.
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/platform.h"

// The zone in force is /etc/localtime. The C library reads it once and looks
// at it again only when tzset asks, at the cost of a system call each time,
// which would be one more for every heartbeat. So /etc and the zone's file
// are watched instead: a change raises SIGIO, and the next reading of the
// clock asks. Where no watch can be set, every reading asks. A zone that TZ
// names is the process's own and stays.
static const char ZoneFolder[] = "/etc";
static const char ZoneFile[] = "/etc/localtime";
static pthread_once_t ZoneWatchStarted = PTHREAD_ONCE_INIT;
static int ZoneWatch = -1;
static bool ZoneUnwatched;
// Changes signalled, and those the C library has been asked to read.
static std::atomic<unsigned> ZoneChanges;
static std::atomic<unsigned> ZoneChangesRead;
static pthread_mutex_t ZoneGuard = PTHREAD_MUTEX_INITIALIZER;

static void NoteZoneChange(int)
{
    ZoneChanges.fetch_add(1);
}

// The file that stands at /etc/localtime now, rewritten in place or removed.
static void WatchZoneFile()
{
    inotify_add_watch(ZoneWatch, ZoneFile, IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF);
}

static void StartZoneWatch()
{
    if (getenv("TZ") != nullptr)
        return;
    struct sigaction action = {};
    action.sa_handler = NoteZoneChange;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    ZoneWatch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    // The zone's file is replaced in /etc (a new link renamed over it), or
    // created there: the folder is what must be watched.
    ZoneUnwatched = ZoneWatch < 0 || sigaction(SIGIO, &action, nullptr) != 0 ||
                    fcntl(ZoneWatch, F_SETOWN, getpid()) != 0 || fcntl(ZoneWatch, F_SETFL, O_ASYNC | O_NONBLOCK) != 0 ||
                    inotify_add_watch(ZoneWatch, ZoneFolder, IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO) < 0;
    if (!ZoneUnwatched)
        WatchZoneFile();
    // A change before the watch is read now.
    tzset();
}

// Has the C library read the zone again if it may have changed.
static void FollowZone()
{
    pthread_once(&ZoneWatchStarted, StartZoneWatch);
    if (ZoneUnwatched) {
        tzset();
        return;
    }
    if (ZoneChanges.load() == ZoneChangesRead.load())
        return;
    pthread_mutex_lock(&ZoneGuard);
    unsigned changes = ZoneChanges.load();
    if (changes != ZoneChangesRead.load()) {
        char events[4096];
        while (read(ZoneWatch, events, sizeof events) > 0) {
        }
        WatchZoneFile();
        tzset();
        ZoneChangesRead.store(changes);
    }
    pthread_mutex_unlock(&ZoneGuard);
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

// Sleeps the full time: a signal that interrupts it does not cut it short.
void WINAPI Sleep(DWORD milliseconds)
{
    struct timespec left = {static_cast<time_t>(milliseconds / 1000),
                            static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
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
