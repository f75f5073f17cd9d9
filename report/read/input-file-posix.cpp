// SPDX-License-Identifier: Apache-2.0
// A file the report reads, on a POSIX host: what it is is asked of the open
// descriptor, never of the name a second time.
#include "report/read/input-file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace report {

InputFile::~InputFile()
{
    if (File >= 0)
        close(static_cast<int>(File));
}

bool InputFile::Open(const std::filesystem::path& file, std::string& problem)
{
    // A FIFO opened without O_NONBLOCK waits for a writer, for ever.
    int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        Absent = errno == ENOENT || errno == ENOTDIR;
        problem = errno == ELOOP ? "a symbolic link, not followed" : std::strerror(errno);
        return false;
    }
    struct stat status;
    int error = fstat(fd, &status) != 0 ? errno : 0;
    if (error != 0 || !S_ISREG(status.st_mode)) {
        problem = error != 0 ? std::strerror(error) : "not a regular file";
        close(fd);
        return false;
    }
    File = fd;
    Length = status.st_size;
    ModifiedSeconds = status.st_mtim.tv_sec;
    Sparse = status.st_blocks < status.st_size / 512;
    return true;
}

int64_t InputFile::ReadAt(int64_t offset, char* buffer, size_t size)
{
    ssize_t count;
    do
        count = pread(static_cast<int>(File), buffer, size, offset);
    while (count < 0 && errno == EINTR);
    return count;
}

void InputFile::NextData(int64_t offset, int64_t& first, int64_t& last)
{
    first = offset;
    last = std::numeric_limits<int64_t>::max();
    if (!Sparse)
        return;
    // ENXIO: a hole up to the end. Any other error: read it all as it reads.
    off_t data = lseek(static_cast<int>(File), offset, SEEK_DATA);
    if (data < 0) {
        if (errno == ENXIO)
            first = -1;
        return;
    }
    off_t hole = lseek(static_cast<int>(File), data, SEEK_HOLE);
    first = data;
    if (hole > data)
        last = hole;
}

}  // namespace report
