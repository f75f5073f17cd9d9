// Stored files on POSIX: plain descriptors, no stdio buffering.
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"

FileId OpenFileForReading(const char* path)
{
    // Non-blocking, so that a FIFO in its place cannot hold up start-up.
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return NoFile;
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(fd);
        return NoFile;
    }
    return fd;
}

FileId OpenFileForUpdate(const char* path, bool create)
{
    int fd = open(path, O_RDWR | O_CLOEXEC | O_NOCTTY | (create ? O_CREAT : 0), 0666);
    return fd < 0 ? NoFile : fd;
}

int64_t SeekFileEnd(FileId file)
{
    return lseek(static_cast<int>(file), 0, SEEK_END);
}

bool CutFileAt(FileId file, int64_t offset)
{
    int fd = static_cast<int>(file);
    return ftruncate(fd, offset) == 0 && lseek(fd, offset, SEEK_SET) == offset;
}

bool WriteFileBytes(FileId file, const void* bytes, size_t count)
{
    const char* next = static_cast<const char*>(bytes);
    while (count > 0) {
        ssize_t written = write(static_cast<int>(file), next, count);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        next += written;
        count -= static_cast<size_t>(written);
    }
    return true;
}

long ReadFileBytes(FileId file, void* buffer, size_t size)
{
    ssize_t count;
    do
        count = read(static_cast<int>(file), buffer, size);
    while (count < 0 && errno == EINTR);
    return count;
}

bool FlushFileToDisk(FileId file)
{
    return fsync(static_cast<int>(file)) == 0;
}

void CloseFileId(FileId file)
{
    close(static_cast<int>(file));
}
