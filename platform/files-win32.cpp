// SPDX-License-Identifier: Apache-2.0
// Stored files on Windows: unbuffered handles, shared for reading and writing,
// named in UTF-8 and opened by their UTF-16 names, so that a folder outside
// the ANSI code page works too.
#include "platform/platform.h"

static bool IsHighSurrogate(wchar_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

static bool IsLowSurrogate(wchar_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

DWORD GetProgramFileName(char* path, DWORD size)
{
    wchar_t wide[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, wide, MAX_PATH);
    // A name that filled the buffer may have been cut short; one that holds
    // a lone surrogate has no UTF-8 form that opens it again.
    int bytes = length == 0 || length >= MAX_PATH || size == 0
                    ? 0
                    : WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, static_cast<int>(length), path,
                                          static_cast<int>(size - 1), nullptr, nullptr);
    if (size > 0)
        path[bytes] = '\0';
    return bytes > 0 ? static_cast<DWORD>(bytes) : size;
}

bool GetPathInCodePage(const char* path, char* text, size_t size)
{
    UINT page = GetACP();
    if (page == CP_UTF8) {
        size_t length = strlen(path);
        if (length >= size)
            return false;
        memcpy(text, path, length + 1);
        return true;
    }
    wchar_t wide[PathSize];
    int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide, PathSize);
    // A character beyond the 16-bit range is two units, which would show as
    // two '?'s: its second is dropped.
    int kept = 0;
    wchar_t previous = 0;
    for (int i = 0; i < length; i++) {
        if (!IsHighSurrogate(previous) || !IsLowSurrogate(wide[i]))
            wide[kept++] = wide[i];
        previous = wide[i];
    }
    // No best fit: a character is itself or a '?', never one like it.
    return kept > 0 &&
           WideCharToMultiByte(page, WC_NO_BEST_FIT_CHARS, wide, kept, text, static_cast<int>(size), "?", nullptr) > 0;
}

static FileId OpenShared(const char* path, DWORD access, DWORD disposition)
{
    wchar_t wide[PathSize];
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide, PathSize) == 0)
        return NoFile;
    HANDLE handle = CreateFileW(wide, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    return handle == INVALID_HANDLE_VALUE ? NoFile : reinterpret_cast<FileId>(handle);
}

static HANDLE Handle(FileId file)
{
    return reinterpret_cast<HANDLE>(file);
}

FileId OpenFileForReading(const char* path)
{
    return OpenShared(path, GENERIC_READ, OPEN_EXISTING);
}

FileId OpenFileForUpdate(const char* path, bool create)
{
    return OpenShared(path, GENERIC_READ | GENERIC_WRITE, create ? OPEN_ALWAYS : OPEN_EXISTING);
}

int64_t SeekFileEnd(FileId file)
{
    LARGE_INTEGER zero = {};
    LARGE_INTEGER end;
    return SetFilePointerEx(Handle(file), zero, &end, FILE_END) ? end.QuadPart : -1;
}

// A write past the end leaves the bytes before it reading as zeros.
bool WriteFileBytesAt(FileId file, int64_t offset, const void* bytes, size_t count)
{
    LARGE_INTEGER at;
    at.QuadPart = offset;
    DWORD written = 0;
    return SetFilePointerEx(Handle(file), at, nullptr, FILE_BEGIN) &&
           WriteFile(Handle(file), bytes, static_cast<DWORD>(count), &written, nullptr) && written == count;
}

bool SetFileLength(FileId file, int64_t length)
{
    LARGE_INTEGER at;
    at.QuadPart = length;
    return SetFilePointerEx(Handle(file), at, nullptr, FILE_BEGIN) && SetEndOfFile(Handle(file));
}

// An allocation below the length would cut the file, so only a file that
// grows is given one. Only a full disk or a file at its size limit refuse.
bool ReserveFileBytes(FileId file, int64_t offset, int64_t count)
{
    LARGE_INTEGER length;
    FILE_ALLOCATION_INFO allocation;
    allocation.AllocationSize.QuadPart = offset + count;
    if (!GetFileSizeEx(Handle(file), &length) || length.QuadPart >= allocation.AllocationSize.QuadPart ||
        SetFileInformationByHandle(Handle(file), FileAllocationInfo, &allocation, sizeof allocation))
        return true;
    DWORD error = GetLastError();
    return error != ERROR_DISK_FULL && error != ERROR_HANDLE_DISK_FULL && error != ERROR_FILE_TOO_LARGE;
}

int64_t FileLength(FileId file)
{
    LARGE_INTEGER length;
    return GetFileSizeEx(Handle(file), &length) ? length.QuadPart : -1;
}

long ReadFileBytes(FileId file, void* buffer, size_t size)
{
    DWORD count = 0;
    if (!ReadFile(Handle(file), buffer, static_cast<DWORD>(size), &count, nullptr))
        return -1;
    return static_cast<long>(count);
}

long ReadFileBytesAt(FileId file, int64_t offset, void* buffer, size_t size)
{
    LARGE_INTEGER at;
    at.QuadPart = offset;
    if (!SetFilePointerEx(Handle(file), at, nullptr, FILE_BEGIN))
        return -1;
    return ReadFileBytes(file, buffer, size);
}

bool FlushFileToDisk(FileId file)
{
    return FlushFileBuffers(Handle(file));
}

void CloseFileId(FileId file)
{
    CloseHandle(Handle(file));
}
