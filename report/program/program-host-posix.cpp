// SPDX-License-Identifier: Apache-2.0
// What verdimoor-report asks of a POSIX host.
#include "report/program/program-host.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace report {

const bool FileNamesIgnoreCase = false;

std::vector<std::string> Utf8Arguments(int argc, char** argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

std::filesystem::path ProgramFolder()
{
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || self.empty())
        return ".";
    return self.parent_path();
}

std::string HostName()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return "";
    return name;
}

OutputTarget ResolveOutput(const std::filesystem::path& file)
{
    // Whatever is there and is no regular file, or cannot be looked at, is
    // opened as it is: the system says what it is, or why it cannot be.
    struct stat status;
    if (stat(file.c_str(), &status) == 0 ? !S_ISREG(status.st_mode) : errno != ENOENT)
        return {true, file};
    // The links followed, at most 40 as the system follows them, to the file
    // they name, which may not exist yet.
    std::filesystem::path target = file;
    for (int links = 0; links < 40; links++) {
        std::error_code error;
        if (!std::filesystem::is_symlink(target, error))
            break;
        std::filesystem::path link = std::filesystem::read_symlink(target, error);
        if (error)
            break;
        target = link.is_absolute() ? link : target.parent_path() / link;
    }
    return {false, target};
}

namespace {

// The new file that a signal which ends the program removes first: its path
// is copied before the file is created, and ArmedPath set once the copy is
// whole.
char RemovedOnSignal[4096];
volatile std::sig_atomic_t ArmedPath = 0;

extern "C" void RemoveAndStop(int signal)
{
    int saved = errno;
    if (ArmedPath)
        unlink(RemovedOnSignal);
    errno = saved;
    // Handled once: raised again, the signal ends the program as it would have.
    raise(signal);
}

void CatchSignals()
{
    static bool caught = false;
    if (caught)
        return;
    caught = true;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction action = {};
        // A signal the caller ignores, as nohup does, stays ignored.
        if (sigaction(signal, nullptr, &action) != 0 || action.sa_handler == SIG_IGN)
            continue;
        action = {};
        action.sa_handler = RemoveAndStop;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
    }
}

}  // namespace

bool CreateNewFile(const std::filesystem::path& path, std::intptr_t& file, std::string& error)
{
    CatchSignals();
    KeepOnInterrupt();
    const std::string& name = path.native();
    if (name.size() < sizeof RemovedOnSignal) {
        std::memcpy(RemovedOnSignal, name.c_str(), name.size() + 1);
        std::atomic_signal_fence(std::memory_order_seq_cst);
        ArmedPath = 1;
    }
    // 0666 less the umask, as any new file: the textfile collector reads it
    // under a user of its own.
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = std::strerror(errno);
        KeepOnInterrupt();
        return false;
    }
    file = fd;
    return true;
}

void KeepOnInterrupt()
{
    ArmedPath = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

bool OpenToWriteInto(const std::filesystem::path& path, std::intptr_t& file, std::string& error)
{
    int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    file = fd;
    return true;
}

namespace {

bool WriteAll(int fd, std::string_view bytes, std::string& error)
{
    while (!bytes.empty()) {
        ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            error = std::strerror(written < 0 ? errno : EIO);
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

}  // namespace

bool WriteToFile(std::intptr_t file, std::string_view bytes, std::string& error)
{
    return WriteAll(static_cast<int>(file), bytes, error);
}

bool CloseWrittenFile(std::intptr_t file, bool sync, std::string& error)
{
    int fd = static_cast<int>(file);
    if (sync && fsync(fd) != 0) {
        error = std::strerror(errno);
        close(fd);
        return false;
    }
    if (close(fd) != 0) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

bool WriteToStandardOutput(std::string_view bytes, std::string& error)
{
    std::fflush(stdout);
    return WriteAll(STDOUT_FILENO, bytes, error);
}

bool RenameOver(const std::filesystem::path& from, const std::filesystem::path& to, std::string& error)
{
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace report
