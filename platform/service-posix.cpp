// SPDX-License-Identifier: Apache-2.0
// The service manager on POSIX: the process is its own dispatcher, turning
// stop signals into controls, and tells systemd its state when systemd
// started it with Type=notify. What the service tells the administrator is
// said on standard error, with the journal's priorities where that is the
// journal.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include "platform/platform.h"

// SIGTERM, SIGINT and SIGHUP become stop controls, delivered to the handler
// on the main thread as the Service Control Manager delivers its controls. A
// stop is held back until the service has reported a state that accepts it,
// or until its service main has returned, so that it never overtakes start-up.

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
    if (table == nullptr || table[0].lpServiceName == nullptr || table[0].lpServiceProc == nullptr || Dispatching) {
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

// Standard error is the journal when systemd names it in JOURNAL_STREAM, as
// its device and inode: each line then starts with its priority, as
// sd-daemon(3) has it. In a terminal, or passed on to another file, the
// lines stay as they are. Decided once, at the first line.
static pthread_once_t JournalChecked = PTHREAD_ONCE_INIT;
static bool ToJournal;

// The decimal number at text, up to end; false unless there is one.
static bool ReadDecimal(const char* text, char end, unsigned long long* number)
{
    char* rest = nullptr;
    errno = 0;
    *number = strtoull(text, &rest, 10);
    return text[0] >= '0' && text[0] <= '9' && errno == 0 && *rest == end;
}

static void CheckJournal()
{
    const char* stream = getenv("JOURNAL_STREAM");
    const char* colon = stream == nullptr ? nullptr : strchr(stream, ':');
    struct stat error;
    unsigned long long device = 0;
    unsigned long long inode = 0;
    ToJournal = colon != nullptr && ReadDecimal(stream, ':', &device) && ReadDecimal(colon + 1, '\0', &inode) &&
                fstat(STDERR_FILENO, &error) == 0 && device == error.st_dev && inode == error.st_ino;
}

void SayOnStandardError(int priority, const char* text)
{
    pthread_once(&JournalChecked, CheckJournal);
    char level[] = {'<', static_cast<char>('0' + priority), '>'};
    // One write, so that the line reaches the journal whole.
    struct iovec line[] = {
        {level, ToJournal ? sizeof level : 0},
        {const_cast<char*>("verdimoor: "), 11},
        {const_cast<char*>(text), strlen(text)},
        {const_cast<char*>("\n"), 1},
    };
    while (writev(STDERR_FILENO, line, 4) < 0 && errno == EINTR) {
    }
}

// A failed record write is also the unit's status, which systemctl status
// shows until writing works again.
void ReportServiceEvent(ServiceEvent event, const char* text)
{
    static const int Priorities[] = {LOG_INFO, LOG_WARNING, LOG_ERR};
    SayOnStandardError(Priorities[LevelOf(event)], text);
    if (event == EventRecordWriteFailed || event == EventRecordWriteWorks) {
        char status[sizeof "STATUS=" - 1 + ServiceEventTextSize];
        // An empty status clears it.
        snprintf(status, sizeof status, "STATUS=%s", event == EventRecordWriteFailed ? text : "");
        NotifyInitSystem(status);
    }
}
