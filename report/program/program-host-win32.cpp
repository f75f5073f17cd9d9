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
#include <random>

#include "report/core/utf8.h"
#include "report/program/folders.h"

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

namespace {

// The new files that Ctrl-C removes: a slot's path is copied before its
// file is created, and Armed set once the copy is whole. The files are
// shared for deletion, so that they go when the program ends with them open.
struct Removed {
    volatile LONG Armed = 0;
    wchar_t Path[32768] = {};
};
Removed RemovedOnInterrupt[4];

BOOL WINAPI RemoveAndStop(DWORD)
{
    for (Removed& removed : RemovedOnInterrupt)
        if (removed.Armed)
            DeleteFileW(removed.Path);
    // The next handler, the system's, ends the program.
    return FALSE;
}

bool Arm(const std::wstring& path)
{
    for (Removed& removed : RemovedOnInterrupt)
        if (!removed.Armed && path.size() < std::size(removed.Path)) {
            path.copy(removed.Path, path.size());
            removed.Path[path.size()] = L'\0';
            InterlockedExchange(&removed.Armed, 1);
            return true;
        }
    return false;
}

void Disarm(const std::wstring& path)
{
    for (Removed& removed : RemovedOnInterrupt)
        if (removed.Armed && path == removed.Path)
            InterlockedExchange(&removed.Armed, 0);
}

std::string Shown(const std::filesystem::path& path)
{
    return WithoutControls(Utf8Of(path.empty() ? std::filesystem::path(L".") : path));
}

// ".NAME.0123456789abcdef.tmp" beside the file, a name no collector reads;
// built from UTF-8 pieces, as a narrow string would pass through the code page.
std::filesystem::path TemporaryBeside(const std::filesystem::path& file)
{
    std::random_device random;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%08x%08x.tmp", random(), random());
    std::u8string name(1, u8'.');
    name += file.filename().u8string();
    name.append(suffix, suffix + std::char_traits<char>::length(suffix));
    return file.parent_path() / name;
}

// Opened to be looked at, not written: a folder too.
HANDLE OpenToLookAt(const std::filesystem::path& path)
{
    return CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// The path the system resolved an open file's to, links and all.
std::filesystem::path FinalPath(HANDLE handle, const std::filesystem::path& otherwise)
{
    std::wstring name(32768, L'\0');
    DWORD length = GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()),
                                             FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    return length > 0 && length < name.size() ? std::filesystem::path(name.substr(0, length)) : otherwise;
}

}  // namespace

void PrepareOutputs()
{
    static bool caught = SetConsoleCtrlHandler(RemoveAndStop, TRUE) != 0;
    (void)caught;
}

bool OpenOutput(const std::filesystem::path& name, OutputTarget& output, std::string& error)
{
    // Whatever is there and is no file on disk, or cannot be looked at, is
    // written into as it is: the system says what it is, or why it cannot be.
    std::filesystem::path file = name;
    bool writeInto = false;
    HANDLE handle = OpenToLookAt(name);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        writeInto = code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND;
    } else {
        writeInto = GetFileType(handle) != FILE_TYPE_DISK;
        // A link's target, as the system resolved it, is the file replaced.
        DWORD attributes = GetFileAttributesW(name.c_str());
        if (!writeInto && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            file = FinalPath(handle, name);
        CloseHandle(handle);
    }
    output = {};
    if (writeInto) {
        handle = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            error = "cannot write: " + LastError();
            return false;
        }
        output.File = reinterpret_cast<std::intptr_t>(handle);
        output.WriteInto = true;
        return true;
    }
    std::filesystem::path temporary = TemporaryBeside(file);
    if (!Arm(temporary.native())) {
        error = "cannot create a temporary file in " + Shown(file.parent_path()) + ": too many at once";
        return false;
    }
    handle = CreateFileW(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = "cannot create a temporary file in " + Shown(file.parent_path()) + ": " + LastError();
        Disarm(temporary.native());
        return false;
    }
    output.File = reinterpret_cast<std::intptr_t>(handle);
    output.FolderShown = Shown(file.parent_path());
    output.Name = file;
    output.Temporary = temporary;
    return true;
}

bool CommitOutput(OutputTarget& output, std::string& error)
{
    HANDLE handle = reinterpret_cast<HANDLE>(output.File);
    bool done = output.WriteInto || FlushFileBuffers(handle);
    if (!done)
        error = "cannot write: " + LastError();
    if (!CloseHandle(handle) && done) {
        error = "cannot write: " + LastError();
        done = false;
    }
    output.File = -1;
    if (done && !output.WriteInto &&
        !MoveFileExW(output.Temporary.c_str(), output.Name.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = "cannot rename the temporary file over it: " + LastError();
        done = false;
    }
    if (done)
        Disarm(output.Temporary.native());
    else
        AbandonOutput(output);
    output = {};
    return done;
}

void AbandonOutput(OutputTarget& output)
{
    if (output.File != -1)
        CloseHandle(reinterpret_cast<HANDLE>(output.File));
    if (!output.Temporary.empty()) {
        DeleteFileW(output.Temporary.c_str());
        Disarm(output.Temporary.native());
    }
    output = {};
}

std::string OutputPlace(const std::filesystem::path& name)
{
    // What exists is its file, a new name its folder's.
    HANDLE handle = OpenToLookAt(name);
    if (handle != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION file;
        bool known = GetFileInformationByHandle(handle, &file);
        CloseHandle(handle);
        return known ? "file " + std::to_string(file.dwVolumeSerialNumber) + ":" + std::to_string(file.nFileIndexHigh) +
                           ":" + std::to_string(file.nFileIndexLow)
                     : "";
    }
    std::filesystem::path folder = name.parent_path().empty() ? std::filesystem::path(L".") : name.parent_path();
    handle = OpenToLookAt(folder);
    if (handle == INVALID_HANDLE_VALUE)
        return "";
    folder = FinalPath(handle, folder);
    CloseHandle(handle);
    return "name " + ComparedPath(folder / name.filename());
}

bool OpenScratchFile(const OutputTarget& beside, std::intptr_t& file, std::string& error)
{
    std::filesystem::path folder = beside.Temporary.parent_path();
    if (beside.Temporary.empty()) {
        wchar_t temporary[MAX_PATH + 1];
        DWORD length = GetTempPathW(static_cast<DWORD>(std::size(temporary)), temporary);
        folder = length > 0 && length < std::size(temporary) ? std::filesystem::path(temporary) : L".";
    }
    HANDLE handle = CreateFileW(TemporaryBeside(folder / L"verdimoor").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                nullptr, CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = "cannot create a temporary file in " + Shown(folder) + ": " + LastError();
        return false;
    }
    file = reinterpret_cast<std::intptr_t>(handle);
    return true;
}

bool ReadFromFile(std::intptr_t file, char* bytes, size_t size, size_t& read, std::string& error)
{
    DWORD got = 0;
    DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    if (!ReadFile(reinterpret_cast<HANDLE>(file), bytes, chunk, &got, nullptr)) {
        error = LastError();
        return false;
    }
    read = got;
    return true;
}

bool RewindFile(std::intptr_t file, std::string& error)
{
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(reinterpret_cast<HANDLE>(file), start, nullptr, FILE_BEGIN)) {
        error = LastError();
        return false;
    }
    return true;
}

void CloseFile(std::intptr_t file)
{
    CloseHandle(reinterpret_cast<HANDLE>(file));
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

}  // namespace report
