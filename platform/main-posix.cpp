// SPDX-License-Identifier: Apache-2.0
// The POSIX process starts here: its two options, the lock file that keeps a
// second daemon out of its folder, and then the same entry as on Windows.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include "platform/platform.h"

static const char Usage[] = "usage: verdimoor [--help | --version]\n";

static const char Help[] = "Usage: verdimoor [--help | --version]\n"
                           "\n"
                           "Keeps a monthly log of this machine's running periods in the folder that\n"
                           "holds it, and powers the machine off daily at the time that PowerOFF.txt\n"
                           "there names. It runs in the foreground until SIGTERM, SIGINT or SIGHUP,\n"
                           "which close the run with a DOWN line. One runs in a folder at a time.\n"
                           "\n"
                           "Options:\n"
                           "  --help     print this help and exit\n"
                           "  --version  print the name and version and exit\n";

// Prints what --help or --version asks for, writing no file; any other
// argument is a mistake. Returns the exit code.
static int AnswerOptions(int argc, char** argv)
{
    const char* answer = nullptr;
    if (argc == 2 && strcmp(argv[1], "--help") == 0)
        answer = Help;
    else if (argc == 2 && strcmp(argv[1], "--version") == 0)
        answer = "verdimoor " VERDIMOOR_VERSION "\n";
    if (answer == nullptr) {
        fputs(Usage, stderr);
        return 2;
    }
    return fputs(answer, stdout) < 0 || fflush(stdout) != 0 ? 1 : 0;
}

// The lock file's name in the program's folder.
static const char LockName[] = "verdimoor.lock";

// True for a lock file that no other user can open, nor can have opened
// before: a regular file of this process's user, closed to everyone else.
static bool OnlyOurs(const struct stat& file)
{
    return S_ISREG(file.st_mode) && file.st_uid == geteuid() && (file.st_mode & 077) == 0;
}

// Locks the lock file in the executable's folder for the life of the process,
// so that a second daemon started there writes nothing; the kernel drops the
// lock when the process ends, however it ends. The file is created 0600, and
// one at its name that another user may hold (theirs, a link, a FIFO, one
// others may open) is removed and made anew, so that no one else can keep the
// daemon from starting. False when another process holds the lock. A lock
// that cannot be had otherwise is said, and the daemon runs.
static bool LockProgramFolder()
{
    char folder[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, folder, sizeof folder);
    char* separator = length > 0 && length < sizeof folder ? strrchr(folder, '/') : nullptr;
    // Without its folder the service writes nothing either.
    if (separator == nullptr)
        return true;
    separator[separator == folder ? 1 : 0] = '\0';
    char lockPath[MAX_PATH + sizeof LockName];
    snprintf(lockPath, sizeof lockPath, "%s%s%s", folder, separator == folder ? "" : "/", LockName);

    int error = 0;
    int dir = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int attempt = 0; dir >= 0 && attempt < 3 && error == 0; attempt++) {
        // Read-only, which is all a lock needs: a file open for writing would
        // keep its file system from being remounted read-only.
        int fd = openat(dir, LockName, O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
        struct stat file;
        struct stat named;
        if (fd < 0 && errno != ELOOP) {
            error = errno;
        } else if (fd >= 0 && fstat(fd, &file) != 0) {
            error = errno;
        } else if (fd < 0 || !OnlyOurs(file)) {
            if (unlinkat(dir, LockName, 0) != 0 && errno != ENOENT)
                error = errno;
        } else if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            error = errno;
            if (error == EWOULDBLOCK) {
                char text[sizeof folder + 64];
                snprintf(text, sizeof text, "another verdimoor is running in %s", folder);
                SayOnStandardError(LOG_ERR, text);
                close(fd);
                close(dir);
                return false;
            }
        } else if (fstatat(dir, LockName, &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_dev == file.st_dev &&
                   named.st_ino == file.st_ino) {
            // Kept open, and so locked, until the process ends.
            close(dir);
            return true;
        }
        // Another name given to the name since it was opened is tried anew.
        if (fd >= 0)
            close(fd);
    }
    if (dir < 0 || error == 0)
        error = dir < 0 ? errno : EAGAIN;
    char text[sizeof lockPath + 256];
    snprintf(text, sizeof text, "cannot lock %s: %s", dir < 0 ? folder : lockPath, strerror(error));
    SayOnStandardError(LOG_ERR, text);
    if (dir >= 0)
        close(dir);
    return true;
}

int main(int argc, char** argv)
{
    if (argc > 1)
        return AnswerOptions(argc, argv);
    if (!LockProgramFolder())
        return 1;
    // What the service says on standard error is never worth the process: a
    // reader that went away makes a write fail, not end it.
    signal(SIGPIPE, SIG_IGN);
    return WinMain(nullptr, nullptr, nullptr, 0);
}
