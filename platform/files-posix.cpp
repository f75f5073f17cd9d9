// SPDX-License-Identifier: Apache-2.0
// Stored files on POSIX: plain descriptors, no stdio buffering; and the last
// error they leave.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"

// The last error is the errno that the failed operation left, here as in the
// test double.
DWORD WINAPI GetLastError()
{
    return static_cast<DWORD>(errno);
}

// Only a regular file is read: a folder in its place fails with EISDIR,
// anything else with EINVAL.
FileId OpenFileForReading(const char* path)
{
    // Non-blocking, so that a FIFO in its place cannot hold up start-up.
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return NoFile;
    struct stat status;
    int error = 0;
    if (fstat(fd, &status) != 0)
        error = errno;
    else if (!S_ISREG(status.st_mode))
        error = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
    if (error != 0) {
        close(fd);
        errno = error;
        return NoFile;
    }
    return fd;
}

// Flushes the folder entry of a file just created; the folder of a bare name
// is the current one.
static void SyncFolderOf(const char* path)
{
    char folder[PATH_MAX];
    const char* separator = strrchr(path, '/');
    size_t length = separator == nullptr ? 0 : static_cast<size_t>(separator - path);
    if (separator == nullptr)
        strcpy(folder, ".");
    else if (length == 0)
        strcpy(folder, "/");
    else if (length < sizeof folder)
        snprintf(folder, sizeof folder, "%.*s", static_cast<int>(length), path);
    else
        return;
    int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    fsync(fd);
    close(fd);
}

// An existing file is opened as it is; only a missing one is created, and
// then its folder is flushed once.
FileId OpenFileForUpdate(const char* path, bool create)
{
    const int flags = O_RDWR | O_CLOEXEC | O_NOCTTY;
    int fd = open(path, flags);
    if (fd < 0 && create && errno == ENOENT) {
        fd = open(path, flags | O_CREAT | O_EXCL, 0666);
        if (fd >= 0)
            SyncFolderOf(path);
        else if (errno == EEXIST)
            fd = open(path, flags);
    }
    return fd < 0 ? NoFile : fd;
}

int64_t SeekFileEnd(FileId file)
{
    return lseek(static_cast<int>(file), 0, SEEK_END);
}

bool WriteFileBytesAt(FileId file, int64_t offset, const void* bytes, size_t count)
{
    const char* next = static_cast<const char*>(bytes);
    while (count > 0) {
        ssize_t written = pwrite(static_cast<int>(file), next, count, offset);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        next += written;
        offset += written;
        count -= static_cast<size_t>(written);
    }
    return true;
}

bool SetFileLength(FileId file, int64_t length)
{
    return ftruncate(static_cast<int>(file), length) == 0;
}

// Only a full disk, a full quota or the file's size limit refuse: a file
// system without fallocate (EOPNOTSUPP) has no room to set aside, and the
// write that follows says what it finds.
bool ReserveFileBytes(FileId file, int64_t offset, int64_t count)
{
    int result;
    do
        result = fallocate(static_cast<int>(file), FALLOC_FL_KEEP_SIZE, offset, count);
    while (result != 0 && errno == EINTR);
    return result == 0 || (errno != ENOSPC && errno != EDQUOT && errno != EFBIG);
}

int64_t FileLength(FileId file)
{
    struct stat status;
    return fstat(static_cast<int>(file), &status) == 0 ? status.st_size : -1;
}

long ReadFileBytes(FileId file, void* buffer, size_t size)
{
    ssize_t count;
    do
        count = read(static_cast<int>(file), buffer, size);
    while (count < 0 && errno == EINTR);
    return count;
}

long ReadFileBytesAt(FileId file, int64_t offset, void* buffer, size_t size)
{
    ssize_t count;
    do
        count = pread(static_cast<int>(file), buffer, size, offset);
    while (count < 0 && errno == EINTR);
    return count;
}

// fdatasync leaves out the modification time, which no reader of the file
// needs: a rewrite that keeps the length waits for its data, not for a
// journal commit of the time (which ext4 still makes on its own, every few
// seconds). A length that changed is flushed all the same.
bool FlushFileToDisk(FileId file)
{
    return fdatasync(static_cast<int>(file)) == 0;
}

void CloseFileId(FileId file)
{
    close(static_cast<int>(file));
}
