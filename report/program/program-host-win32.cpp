// SPDX-License-Identifier: Apache-2.0
// What verdimoor-report asks of Windows, in UTF-8 whatever the code page.
#include "report/program/program-host.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <shellapi.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <io.h>
#include <iterator>

namespace report {
namespace {

std::string LastError(DWORD code = GetLastError())
{
    char text[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                  sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == ' '))
        --length;
    return length > 0 ? std::string(text, length) : "error " + std::to_string(code);
}

}  // namespace

const bool FileNamesIgnoreCase = true;

std::vector<std::string> Utf8Arguments(int argc, char** argv)
{
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        arguments.assign(argv, argv + argc);
        return arguments;
    }
    for (int i = 0; i < count; i++) {
        int length = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string text(length > 0 ? static_cast<size_t>(length) : 1, '\0');
        if (length > 0)
            WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, text.data(), length, nullptr, nullptr);
        text.resize(text.size() - 1);
        arguments.push_back(text);
    }
    LocalFree(wide);
    return arguments;
}

std::filesystem::path ProgramFolder()
{
    std::wstring name(32768, L'\0');
    DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0 || length >= name.size())
        return ".";
    name.resize(length);
    return std::filesystem::path(name).parent_path();
}

std::string HostName()
{
    // The wide name, whatever the code page: metric labels must be UTF-8.
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &size) || size == 0)
        return "";
    int length = WideCharToMultiByte(CP_UTF8, 0, name, static_cast<int>(size), nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return "";
    std::string text(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, name, static_cast<int>(size), text.data(), length, nullptr, nullptr);
    return text;
}

OutputTarget ResolveOutput(const std::filesystem::path& file)
{
    HANDLE handle = CreateFileW(file.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        return {code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND, file};
    }
    OutputTarget target{GetFileType(handle) != FILE_TYPE_DISK, file};
    // A link's target, as the system resolved it, is the file replaced.
    DWORD attributes = GetFileAttributesW(file.c_str());
    if (!target.WriteInto && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        std::wstring name(32768, L'\0');
        DWORD length = GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()),
                                                 FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length > 0 && length < name.size())
            target.File = std::filesystem::path(name.substr(0, length));
    }
    CloseHandle(handle);
    return target;
}

namespace {

// The new file that Ctrl-C removes: its path is copied before the file is
// created, and ArmedPath set once the copy is whole. The file is shared for
// deletion, so that it goes when the program ends with it open.
wchar_t RemovedOnInterrupt[32768];
volatile LONG ArmedPath = 0;

BOOL WINAPI RemoveAndStop(DWORD)
{
    if (ArmedPath)
        DeleteFileW(RemovedOnInterrupt);
    // The next handler, the system's, ends the program.
    return FALSE;
}

}  // namespace

bool CreateNewFile(const std::filesystem::path& path, std::intptr_t& file, std::string& error)
{
    static bool caught = SetConsoleCtrlHandler(RemoveAndStop, TRUE) != 0;
    (void)caught;
    KeepOnInterrupt();
    const std::wstring& name = path.native();
    if (name.size() < std::size(RemovedOnInterrupt)) {
        name.copy(RemovedOnInterrupt, name.size());
        RemovedOnInterrupt[name.size()] = L'\0';
        InterlockedExchange(&ArmedPath, 1);
    }
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = LastError();
        KeepOnInterrupt();
        return false;
    }
    file = reinterpret_cast<std::intptr_t>(handle);
    return true;
}

void KeepOnInterrupt()
{
    InterlockedExchange(&ArmedPath, 0);
}

bool OpenToWriteInto(const std::filesystem::path& path, std::intptr_t& file, std::string& error)
{
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = LastError();
        return false;
    }
    file = reinterpret_cast<std::intptr_t>(handle);
    return true;
}

bool WriteToFile(std::intptr_t file, std::string_view bytes, std::string& error)
{
    HANDLE handle = reinterpret_cast<HANDLE>(file);
    while (!bytes.empty()) {
        DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!WriteFile(handle, bytes.data(), chunk, &written, nullptr) || written == 0) {
            error = LastError();
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

bool CloseWrittenFile(std::intptr_t file, bool sync, std::string& error)
{
    HANDLE handle = reinterpret_cast<HANDLE>(file);
    if (sync && !FlushFileBuffers(handle)) {
        error = LastError();
        CloseHandle(handle);
        return false;
    }
    if (!CloseHandle(handle)) {
        error = LastError();
        return false;
    }
    return true;
}

// Through the C runtime's descriptor, in text mode, as standard output has
// always ended its lines on Windows.
bool WriteToStandardOutput(std::string_view bytes, std::string& error)
{
    std::fflush(stdout);
    while (!bytes.empty()) {
        unsigned chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<unsigned>(bytes.size());
        int written = _write(_fileno(stdout), bytes.data(), chunk);
        if (written <= 0) {
            error = std::strerror(written < 0 ? errno : EIO);
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

bool RenameOver(const std::filesystem::path& from, const std::filesystem::path& to, std::string& error)
{
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = LastError();
        return false;
    }
    return true;
}

}  // namespace report
