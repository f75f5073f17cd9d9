// SPDX-License-Identifier: Apache-2.0
// Preloaded into the daemon by the crash-point test: it counts the daemon's
// calls of the file operations a record write makes, and kills the process
// with SIGKILL on entering the one numbered VERDIMOOR_KILL_AT. The first two
// heartbeat sleeps return at once and the third one stops the daemon with
// SIGTERM, so that one run makes the start-up records, two heartbeats and
// the DOWN record in a few milliseconds. VERDIMOOR_CALLS names a file that
// receives each counted call's name, one a line.
//
// With VERDIMOOR_HEARTBEATS, the number of a socket it inherited, the test
// paces the heartbeats instead: each sleep sends one byte on it and returns
// once one comes back, and the daemon's clock moves on by the time it would
// have slept. What the daemon's sleep waits on besides (the zone's watches)
// still reaches it, and before the byte when both are there. When the test's
// end closes, the daemon stops itself.
// VERDIMOOR_CLOCK, seconds since the epoch, sets where the daemon's clock
// starts.
#include <atomic>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

std::atomic<long> Calls;
std::atomic<int> Sleeps;
long KillAt;
int CallsFile = -1;
int Heartbeats = -1;
// What the daemon's clock is ahead of the real one, in milliseconds.
std::atomic<long long> Ahead;
// Whether the sleep under way has sent its byte. The service thread's.
bool Sent;

__attribute__((constructor)) void Start()
{
    const char* killAt = getenv("VERDIMOOR_KILL_AT");
    KillAt = killAt == nullptr ? 0 : atol(killAt);
    const char* calls = getenv("VERDIMOOR_CALLS");
    if (calls != nullptr)
        CallsFile =
            static_cast<int>(syscall(SYS_openat, AT_FDCWD, calls, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    const char* heartbeats = getenv("VERDIMOOR_HEARTBEATS");
    Heartbeats = heartbeats == nullptr ? -1 : atoi(heartbeats);
    const char* clock = getenv("VERDIMOOR_CLOCK");
    if (clock != nullptr)
        Ahead = (atoll(clock) - time(nullptr)) * 1000;
}

// Counts a call on entering it; the shim's own output bypasses the counted
// functions.
void Enter(const char* name)
{
    long number = ++Calls;
    if (CallsFile >= 0) {
        char line[32];
        size_t length = strlen(name);
        memcpy(line, name, length);
        line[length] = '\n';
        syscall(SYS_write, CallsFile, line, length + 1);
    }
    if (number == KillAt)
        syscall(SYS_kill, getpid(), SIGKILL);
}

template <typename Function> Function Next(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...)
{
    va_list rest;
    va_start(rest, flags);
    mode_t mode = (flags & O_CREAT) != 0 ? va_arg(rest, mode_t) : 0;
    va_end(rest);
    Enter("open");
    return Next<int (*)(const char*, int, ...)>("open")(path, flags, mode);
}

off_t lseek(int fd, off_t offset, int whence)
{
    Enter("lseek");
    return Next<off_t (*)(int, off_t, int)>("lseek")(fd, offset, whence);
}

ssize_t pread(int fd, void* bytes, size_t count, off_t offset)
{
    Enter("pread");
    return Next<ssize_t (*)(int, void*, size_t, off_t)>("pread")(fd, bytes, count, offset);
}

ssize_t pwrite(int fd, const void* bytes, size_t count, off_t offset)
{
    Enter("pwrite");
    return Next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite")(fd, bytes, count, offset);
}

int fallocate(int fd, int mode, off_t offset, off_t length)
{
    Enter("fallocate");
    return Next<int (*)(int, int, off_t, off_t)>("fallocate")(fd, mode, offset, length);
}

int ftruncate(int fd, off_t length)
{
    Enter("ftruncate");
    return Next<int (*)(int, off_t)>("ftruncate")(fd, length);
}

int fsync(int fd)
{
    Enter("fsync");
    return Next<int (*)(int)>("fsync")(fd);
}

int fdatasync(int fd)
{
    Enter("fdatasync");
    return Next<int (*)(int)>("fdatasync")(fd);
}

int fstat(int fd, struct stat* status)
{
    Enter("fstat");
    return Next<int (*)(int, struct stat*)>("fstat")(fd, status);
}

int close(int fd)
{
    Enter("close");
    return Next<int (*)(int)>("close")(fd);
}

int poll(struct pollfd* fds, nfds_t count, int timeout)
{
    auto real = Next<int (*)(struct pollfd*, nfds_t, int)>("poll");
    if (Heartbeats >= 0 && count < 8) {
        char beat = 0;
        if (!Sent)
            Sent = syscall(SYS_write, Heartbeats, &beat, 1) == 1;
        struct pollfd all[9];
        memcpy(all, fds, count * sizeof *fds);
        all[count] = {Heartbeats, POLLIN, 0};
        int ready = Sent ? real(all, count + 1, -1) : -1;
        int theirs = 0;
        for (nfds_t i = 0; i < count; i++) {
            fds[i].revents = all[i].revents;
            theirs += all[i].revents != 0 ? 1 : 0;
        }
        if (ready > 0 && theirs > 0)
            return theirs;
        if (ready > 0 && syscall(SYS_read, Heartbeats, &beat, 1) == 1) {
            Sent = false;
            Ahead += timeout;
            return 0;
        }
        syscall(SYS_kill, getpid(), SIGTERM);
        return real(fds, count, timeout);
    }
    int sleep = ++Sleeps;
    if (sleep <= 2)
        return 0;
    if (sleep == 3)
        syscall(SYS_kill, getpid(), SIGTERM);
    return real(fds, count, timeout);
}

int clock_gettime(clockid_t clock, struct timespec* time)
{
    int result = Next<int (*)(clockid_t, struct timespec*)>("clock_gettime")(clock, time);
    if (result == 0 && clock == CLOCK_REALTIME) {
        long long nanoseconds = time->tv_sec * 1000000000LL + time->tv_nsec + Ahead * 1000000LL;
        time->tv_sec = static_cast<time_t>(nanoseconds / 1000000000);
        time->tv_nsec = static_cast<long>(nanoseconds % 1000000000);
    }
    return result;
}
}
