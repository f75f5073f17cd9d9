// SPDX-License-Identifier: Apache-2.0
// A file the report reads, on Windows: a link at the end of the name is
// opened as itself, and what the handle reaches is asked of the handle.
#include "report/read/input-file.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cwchar>
#include <limits>

#include "report/core/utf8.h"
#include "report/read/system-win32.h"

namespace report {

namespace {

HANDLE HandleOf(std::intptr_t file)
{
    return reinterpret_cast<HANDLE>(file);
}

// Shared as the service shares its files, which it rewrites while they are read.
HANDLE OpenShared(const std::filesystem::path& file, DWORD flags)
{
    return CreateFileW(SystemPath(file).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | flags, nullptr);
}

// Why the file the handle reaches is not read, or "": a link, which the
// handle reaches as itself, a device, a pipe, a folder.
std::string Refused(HANDLE handle, BY_HANDLE_FILE_INFORMATION& information)
{
    if (GetFileType(handle) != FILE_TYPE_DISK)
        return "not a regular file";
    if (!GetFileInformationByHandle(handle, &information))
        return SystemMessage(GetLastError());
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
        (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) ||
         IsReparseTagNameSurrogate(tag.ReparseTag)))
        return "a symbolic link, not followed";
    if (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return "not a regular file";
    return "";
}

}  // namespace

std::string SystemMessage(unsigned long code)
{
    wchar_t* text = nullptr;
    DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    while (length > 0 && std::wcschr(L"\r\n .", text[length - 1]) != nullptr)
        --length;
    std::string message =
        length > 0 ? Utf8Of(std::filesystem::path(std::wstring(text, length))) : "error " + std::to_string(code);
    LocalFree(text);
    return message;
}

std::wstring SystemPath(const std::filesystem::path& path)
{
    const std::wstring& given = path.native();
    if (given.rfind(LR"(\\?\)", 0) == 0 || given.rfind(LR"(\\.\)", 0) == 0)
        return given;
    DWORD size = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);  // with its NUL
    if (size <= MAX_PATH)
        return given;
    std::wstring full(size, L'\0');
    DWORD length = GetFullPathNameW(given.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size)
        return given;
    full.resize(length);
    return full.rfind(LR"(\\)", 0) == 0 ? LR"(\\?\UNC\)" + full.substr(2) : LR"(\\?\)" + full;
}

InputFile::~InputFile()
{
    if (File != -1)
        CloseHandle(HandleOf(File));
}

bool InputFile::Open(const std::filesystem::path& file, std::string& problem)
{
    HANDLE handle = OpenShared(file, FILE_FLAG_OPEN_REPARSE_POINT);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        Absent = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
        problem = SystemMessage(code);
        return false;
    }
    BY_HANDLE_FILE_INFORMATION information;
    problem = Refused(handle, information);
    if (problem.empty() && (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        // A file kept elsewhere by the system (deduplicated, in the cloud)
        // is read through its filter, when the name still leads to it.
        HANDLE through = OpenShared(file, 0);
        BY_HANDLE_FILE_INFORMATION reached;
        bool same = through != INVALID_HANDLE_VALUE && GetFileInformationByHandle(through, &reached) &&
                    reached.dwVolumeSerialNumber == information.dwVolumeSerialNumber &&
                    reached.nFileIndexHigh == information.nFileIndexHigh &&
                    reached.nFileIndexLow == information.nFileIndexLow;
        CloseHandle(handle);
        handle = through;
        information = reached;
        if (!same)
            problem = "changed while it was opened";
    }
    if (!problem.empty()) {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
        return false;
    }
    File = reinterpret_cast<std::intptr_t>(handle);
    Length = static_cast<int64_t>((uint64_t{information.nFileSizeHigh} << 32) | information.nFileSizeLow);
    // From 1601 in tenths of microseconds to Unix seconds.
    uint64_t written =
        (uint64_t{information.ftLastWriteTime.dwHighDateTime} << 32) | information.ftLastWriteTime.dwLowDateTime;
    ModifiedSeconds = static_cast<int64_t>(written / 10000000) - 11644473600;
    return true;
}

int64_t InputFile::ReadAt(int64_t offset, char* buffer, size_t size)
{
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset));
    at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
    DWORD count = 0;
    DWORD asked = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    if (!ReadFile(HandleOf(File), buffer, asked, &count, &at))
        return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    return count;
}

// Holes are not looked for: their zeros are read, and skipped as quickly.
void InputFile::NextData(int64_t offset, int64_t& first, int64_t& last)
{
    first = offset;
    last = std::numeric_limits<int64_t>::max();
}

}  // namespace report
