// SPDX-License-Identifier: Apache-2.0
// What verdimoor-report asks of Windows, in UTF-8 whatever the code page.
#include "report/program/program-host.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <shellapi.h>

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

bool WriteNewFile(const std::filesystem::path& file, std::string_view bytes, std::string& error)
{
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = LastError();
        return false;
    }
    while (!bytes.empty()) {
        DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!WriteFile(handle, bytes.data(), chunk, &written, nullptr) || written == 0) {
            error = LastError();
            CloseHandle(handle);
            return false;
        }
        bytes.remove_prefix(written);
    }
    if (!FlushFileBuffers(handle)) {
        error = LastError();
        CloseHandle(handle);
        return false;
    }
    CloseHandle(handle);
    return true;
}

// The wide name, whatever the code page; shared as the service shares its files.
std::intptr_t OpenFileToRead(const std::filesystem::path& file, std::string& error)
{
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND)
            error = LastError(code);
        return -1;
    }
    return reinterpret_cast<std::intptr_t>(handle);
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
