// SPDX-License-Identifier: Apache-2.0
// What verdimoor-report asks of a POSIX host.
#include "report/program/program-host.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"

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

bool WriteNewFile(const std::filesystem::path& file, std::string_view bytes, std::string& error)
{
    // 0666 less the umask, as any new file: the textfile collector reads it
    // under a user of its own.
    int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    while (!bytes.empty()) {
        ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            error = std::strerror(errno);
            close(fd);
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    if (fsync(fd) != 0) {
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

std::intptr_t OpenFileToRead(const std::filesystem::path& file, std::string& error)
{
    // Non-blocking, as the service opens it, so that a FIFO cannot hold it up.
    int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        if (errno != ENOENT && errno != ENOTDIR)
            error = std::strerror(errno);
        return NoFile;
    }
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        error = "not a regular file";
        close(fd);
        return NoFile;
    }
    return fd;
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
