// The service's operating-system operations on POSIX (Linux).
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <linux/capability.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/platform.h"

void WINAPI GetLocalTime(SYSTEMTIME* time)
{
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm local;
    localtime_r(&now.tv_sec, &local);
    time->wYear = static_cast<WORD>(local.tm_year + 1900);
    time->wMonth = static_cast<WORD>(local.tm_mon + 1);
    time->wDayOfWeek = static_cast<WORD>(local.tm_wday);
    time->wDay = static_cast<WORD>(local.tm_mday);
    time->wHour = static_cast<WORD>(local.tm_hour);
    time->wMinute = static_cast<WORD>(local.tm_min);
    time->wSecond = static_cast<WORD>(local.tm_sec);
    time->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
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

void WINAPI AcquireSRWLockExclusive(SRWLOCK* lock)
{
    pthread_mutex_lock(&lock->Mutex);
}

void WINAPI ReleaseSRWLockExclusive(SRWLOCK* lock)
{
    pthread_mutex_unlock(&lock->Mutex);
}

// The last error is the errno that the failed operation left.
DWORD WINAPI GetLastError()
{
    return static_cast<DWORD>(errno);
}

// The C library's text for an errno value, ended with CR LF as Windows ends
// its message texts; 0 when there is no text for the code.
DWORD WINAPI FormatMessageA(DWORD flags, const void*, DWORD code, DWORD, LPSTR buffer, DWORD, void*)
{
    const DWORD supported = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER;
    const char* description = strerrordesc_np(static_cast<int>(code));
    if (flags != supported || description == nullptr) {
        errno = EINVAL;
        return 0;
    }
    size_t length = strlen(description) + 2;
    char* text = static_cast<char*>(malloc(length + 1));
    if (text == nullptr)
        return 0;
    memcpy(text, description, length - 2);
    memcpy(text + length - 2, "\r\n", 3);
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
BOOL WINAPI AdjustTokenPrivileges(HANDLE token, BOOL, PTOKEN_PRIVILEGES state, DWORD, PTOKEN_PRIVILEGES,
                                  DWORD*)
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

// The dispatcher: the process is its own service manager. SIGTERM, SIGINT and
// SIGHUP become stop controls, delivered to the handler on the main thread as
// the Service Control Manager delivers its controls. A stop is held back
// until the service has reported a state that accepts it, or until its
// service main has returned, so that it never overtakes start-up.

static const SERVICE_STATUS_HANDLE DispatcherStatusHandle = 1;

static pthread_mutex_t DispatchGuard = PTHREAD_MUTEX_INITIALIZER;
static pthread_t DispatcherThread;
static bool Dispatching;
static const char* DispatchedName;
static LPHANDLER_FUNCTION RegisteredHandler;
static SERVICE_STATUS ReportedStatus;
static bool Reported;
static bool ServiceReturned;
static LPSERVICE_MAIN_FUNCTIONA ServiceEntry;
// The socket systemd gave a Type=notify service, read before the service
// thread starts.
static const char* NotifySocketPath;

// Wakes the dispatcher to look at the reported state again.
static int WakeSignal()
{
    return SIGRTMIN;
}

static void WakeDispatcher()
{
    pthread_kill(DispatcherThread, WakeSignal());
}

// Tells systemd about the service's state when it started the service with
// Type=notify; nothing otherwise.
static void NotifyInitSystem(const char* state)
{
    const char* socketPath = NotifySocketPath;
    if (socketPath == nullptr || (socketPath[0] != '/' && socketPath[0] != '@'))
        return;
    struct sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    size_t length = strlen(socketPath);
    if (length >= sizeof address.sun_path)
        return;
    memcpy(address.sun_path, socketPath, length);
    if (address.sun_path[0] == '@')
        address.sun_path[0] = '\0';
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    sendto(fd, state, strlen(state), MSG_NOSIGNAL, reinterpret_cast<struct sockaddr*>(&address),
           static_cast<socklen_t>(offsetof(struct sockaddr_un, sun_path) + length));
    close(fd);
}

static void* RunService(void* name)
{
    LPSTR arguments[] = {static_cast<LPSTR>(name), nullptr};
    ServiceEntry(1, arguments);
    pthread_mutex_lock(&DispatchGuard);
    ServiceReturned = true;
    pthread_mutex_unlock(&DispatchGuard);
    WakeDispatcher();
    return nullptr;
}

BOOL WINAPI StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA* table)
{
    if (table == nullptr || table[0].lpServiceName == nullptr || table[0].lpServiceProc == nullptr ||
        Dispatching) {
        errno = EINVAL;
        return FALSE;
    }
    sigset_t controls;
    sigemptyset(&controls);
    sigaddset(&controls, SIGTERM);
    sigaddset(&controls, SIGINT);
    sigaddset(&controls, SIGHUP);
    sigaddset(&controls, WakeSignal());
    // Blocked before the service thread starts, so that it inherits the mask
    // and every control signal reaches this thread.
    pthread_sigmask(SIG_BLOCK, &controls, nullptr);

    pthread_mutex_lock(&DispatchGuard);
    Dispatching = true;
    DispatcherThread = pthread_self();
    DispatchedName = table[0].lpServiceName;
    ServiceEntry = table[0].lpServiceProc;
    NotifySocketPath = getenv("NOTIFY_SOCKET");
    pthread_mutex_unlock(&DispatchGuard);

    pthread_t service;
    int failed = pthread_create(&service, nullptr, RunService, table[0].lpServiceName);
    if (failed != 0) {
        errno = failed;
        return FALSE;
    }
    pthread_detach(service);

    bool stopPending = false;
    for (;;) {
        int signal = 0;
        if (sigwait(&controls, &signal) != 0)
            continue;
        if (signal != WakeSignal())
            stopPending = true;

        pthread_mutex_lock(&DispatchGuard);
        bool accepting = Reported && ReportedStatus.dwCurrentState != SERVICE_STOPPED &&
                         (ReportedStatus.dwControlsAccepted & SERVICE_ACCEPT_STOP) != 0;
        bool deliver = stopPending && RegisteredHandler != nullptr && (accepting || ServiceReturned);
        bool abandoned = stopPending && RegisteredHandler == nullptr && ServiceReturned;
        LPHANDLER_FUNCTION handler = RegisteredHandler;
        pthread_mutex_unlock(&DispatchGuard);

        if (abandoned)
            return TRUE;
        if (!deliver)
            continue;
        stopPending = false;
        handler(SERVICE_CONTROL_STOP);

        pthread_mutex_lock(&DispatchGuard);
        bool stopped = Reported && ReportedStatus.dwCurrentState == SERVICE_STOPPED;
        pthread_mutex_unlock(&DispatchGuard);
        if (stopped)
            return TRUE;
    }
}

SERVICE_STATUS_HANDLE WINAPI RegisterServiceCtrlHandlerA(LPCSTR name, LPHANDLER_FUNCTION handler)
{
    pthread_mutex_lock(&DispatchGuard);
    bool known = Dispatching && handler != nullptr && strcmp(name, DispatchedName) == 0;
    if (known)
        RegisteredHandler = handler;
    pthread_mutex_unlock(&DispatchGuard);
    if (!known) {
        errno = ENOENT;
        return 0;
    }
    return DispatcherStatusHandle;
}

BOOL WINAPI SetServiceStatus(SERVICE_STATUS_HANDLE handle, SERVICE_STATUS* status)
{
    if (handle != DispatcherStatusHandle) {
        errno = EBADF;
        return FALSE;
    }
    pthread_mutex_lock(&DispatchGuard);
    DWORD before = Reported ? ReportedStatus.dwCurrentState : 0;
    ReportedStatus = *status;
    Reported = true;
    pthread_mutex_unlock(&DispatchGuard);

    if (status->dwCurrentState != before) {
        if (status->dwCurrentState == SERVICE_RUNNING)
            NotifyInitSystem("READY=1");
        else if (status->dwCurrentState == SERVICE_STOPPED)
            NotifyInitSystem("STOPPING=1");
    }
    WakeDispatcher();
    return TRUE;
}
