// SPDX-License-Identifier: Apache-2.0
// The POSIX process starts here: its two options, the lock that keeps a
// second daemon out of its folder, and then the same entry as on Windows.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
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

// Locks the executable's folder for the life of the process, so that a second
// daemon started there writes nothing; the kernel drops the lock when the
// process ends, however it ends. False when another process holds it. A
// folder that cannot be locked otherwise is said, and the daemon runs.
static bool LockProgramFolder()
{
    char folder[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, folder, sizeof folder);
    char* separator = length > 0 && length < sizeof folder ? strrchr(folder, '/') : nullptr;
    // Without its folder the service writes nothing either.
    if (separator == nullptr)
        return true;
    separator[separator == folder ? 1 : 0] = '\0';
    // Kept open, and so locked, until the process ends.
    int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0)
        return true;
    if (fd >= 0 && errno == EWOULDBLOCK) {
        fprintf(stderr, "verdimoor: another verdimoor is running in %s\n", folder);
        return false;
    }
    fprintf(stderr, "verdimoor: cannot lock %s: %s\n", folder, strerror(errno));
    if (fd >= 0)
        close(fd);
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
