// SPDX-License-Identifier: Apache-2.0
// What verdimoor-report asks of Windows, in UTF-8 whatever the code page,
// and at any length of path.
#include "report/program/program-host.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cwchar>
#include <dirent.h>
#include <iterator>
#include <new>
#include <random>

#include "report/core/utf8.h"
#include "report/read/system-win32.h"

namespace report {
namespace {

std::string Utf8(const wchar_t* text, size_t length)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string utf8(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8.data(), size, nullptr, nullptr);
    return utf8;
}

// Whether the handle is a console's, which takes wide characters.
bool IsConsole(HANDLE handle)
{
    DWORD mode;
    return GetConsoleMode(handle, &mode) != 0;
}

// UTF-8 text written to a console as its wide characters, so that it shows
// whatever the console's code page. A sequence cut at the end of a block
// waits in pending for the rest.
bool WriteToConsole(HANDLE console, std::string_view bytes, std::string& pending, std::string& error)
{
    pending.append(bytes);
    size_t whole = pending.size();
    for (size_t back = 1; back <= 3 && back <= whole; back++) {
        auto byte = static_cast<unsigned char>(pending[whole - back]);
        if ((byte & 0xC0) == 0x80)
            continue;
        size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        if (length > back)
            whole -= back;
        break;
    }
    int size = MultiByteToWideChar(CP_UTF8, 0, pending.data(), static_cast<int>(whole), nullptr, 0);
    std::wstring wide(size > 0 ? static_cast<size_t>(size) : 0, L'\0');
    if (size > 0)
        MultiByteToWideChar(CP_UTF8, 0, pending.data(), static_cast<int>(whole), wide.data(), size);
    pending.erase(0, whole);
    // In pieces an old console takes whole, a surrogate pair never split.
    for (size_t at = 0; at < wide.size();) {
        size_t piece = std::min<size_t>(wide.size() - at, 8192);
        if (at + piece < wide.size() && IS_HIGH_SURROGATE(wide[at + piece - 1]))
            piece--;
        DWORD written = 0;
        if (!WriteConsoleW(console, wide.data() + at, static_cast<DWORD>(piece), &written, nullptr) || written == 0) {
            error = SystemMessage(GetLastError());
            return false;
        }
        at += written;
    }
    return true;
}

// std::filesystem lists a folder with mingw-w64's _wopendir, which makes the
// folder's path absolute in a buffer of MAX_PATH characters: a longer folder
// is not found, and one given with \\?\ silently lists the current folder
// instead. The three below take its place in this program, at any length,
// and keep the system's error for the message.
struct Listing {
    HANDLE Find = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAW Found;
    bool Pending = false;  // Found is the next entry
    _wdirent Entry;
};
DWORD ListingError = 0;

int ErrnoOf(DWORD code)
{
    switch (code) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return EACCES;
    case ERROR_DIRECTORY: return ENOTDIR;
    case ERROR_NOT_ENOUGH_MEMORY: return ENOMEM;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME: return ENOENT;
    default: return EIO;
    }
}

_WDIR* NotListed(DWORD code)
{
    ListingError = code;
    errno = ErrnoOf(code);
    return nullptr;
}

}  // namespace
}  // namespace report

extern "C" _WDIR* _wopendir(const wchar_t* name)
{
    using namespace report;
    std::filesystem::path folder(name);
    DWORD attributes = GetFileAttributesW(SystemPath(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return NotListed(GetLastError());
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return NotListed(ERROR_DIRECTORY);
    auto* listing = new (std::nothrow) Listing;
    if (listing == nullptr)
        return NotListed(ERROR_NOT_ENOUGH_MEMORY);
    listing->Find = FindFirstFileExW(SystemPath(folder / L"*").c_str(), FindExInfoBasic, &listing->Found,
                                     FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    // A drive's empty root has no entry at all, not even "." and "..".
    DWORD code = GetLastError();
    if (listing->Find == INVALID_HANDLE_VALUE && code != ERROR_FILE_NOT_FOUND) {
        delete listing;
        return NotListed(code);
    }
    listing->Pending = listing->Find != INVALID_HANDLE_VALUE;
    ListingError = 0;
    return reinterpret_cast<_WDIR*>(listing);
}

// The next entry, or nullptr at the end with errno as it was, and with
// errno set on an error.
extern "C" _wdirent* _wreaddir(_WDIR* folder)
{
    using namespace report;
    auto* listing = reinterpret_cast<Listing*>(folder);
    if (!listing->Pending) {
        if (listing->Find == INVALID_HANDLE_VALUE)
            return nullptr;
        if (!FindNextFileW(listing->Find, &listing->Found)) {
            DWORD code = GetLastError();
            if (code != ERROR_NO_MORE_FILES)
                NotListed(code);
            return nullptr;
        }
    }
    listing->Pending = false;
    size_t length = wcsnlen(listing->Found.cFileName, std::size(listing->Found.cFileName) - 1);
    std::wmemcpy(listing->Entry.d_name, listing->Found.cFileName, length);
    listing->Entry.d_name[length] = L'\0';
    listing->Entry.d_namlen = static_cast<unsigned short>(length);
    listing->Entry.d_ino = 0;
    listing->Entry.d_reclen = 0;
    return &listing->Entry;
}

extern "C" int _wclosedir(_WDIR* folder)
{
    auto* listing = reinterpret_cast<report::Listing*>(folder);
    if (listing->Find != INVALID_HANDLE_VALUE)
        FindClose(listing->Find);
    delete listing;
    return 0;
}

namespace report {

const bool FileNamesIgnoreCase = true;
const char* const HelpArgument = "/?";
const bool TextLinesEndWithCrLf = true;

std::vector<std::string> Utf8Arguments(int argc, char** argv)
{
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        arguments.assign(argv, argv + argc);
        return arguments;
    }
    for (int i = 0; i < count; i++)
        arguments.push_back(Utf8(wide[i], std::wcslen(wide[i])));
    LocalFree(wide);
    return arguments;
}

EntryKind KindOf(const std::filesystem::directory_entry& entry)
{
    return KindOf(entry.path());
}

EntryKind KindOf(const std::filesystem::path& path)
{
    // Asked of the name itself, which takes no wildcard: a name with * or ?
    // is nothing.
    std::wstring system = SystemPath(path);
    DWORD attributes = GetFileAttributesW(system.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return {};
    EntryKind kind{true, (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0, false};
    // A junction or a symbolic link; not a file the system keeps elsewhere.
    WIN32_FIND_DATAW found;
    HANDLE find = attributes & FILE_ATTRIBUTE_REPARSE_POINT
                      ? FindFirstFileExW(system.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0)
                      : INVALID_HANDLE_VALUE;
    if (find != INVALID_HANDLE_VALUE) {
        kind.Link = IsReparseTagNameSurrogate(found.dwReserved0);
        FindClose(find);
    }
    return kind;
}

std::string ComparedPath(const std::filesystem::path& path)
{
    std::error_code error;
    std::string text = Utf8Of(std::filesystem::absolute(path, error).lexically_normal());
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string ListingProblem(const std::string& reported)
{
    return ListingError != 0 ? SystemMessage(ListingError) : reported;
}

std::string QuotingHint(const std::string& argument)
{
    // No name holds a quote: this one came from the command line's quoting.
    size_t quote = argument.find('"');
    if (quote == std::string::npos)
        return "";
    std::string folder = argument.substr(0, quote);
    while (!folder.empty() && folder.back() == '\\')
        folder.pop_back();
    return "; a backslash before a closing quote escapes it: write \"" + folder + "\" or \"" + folder + "\\\\\"";
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
    return Utf8(name, size);
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
    return CreateFileW(SystemPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
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
        DWORD attributes = GetFileAttributesW(SystemPath(name).c_str());
        if (!writeInto && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            file = FinalPath(handle, name);
        CloseHandle(handle);
    }
    output = {};
    if (writeInto) {
        handle = CreateFileW(SystemPath(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            error = "cannot write: " + SystemMessage(GetLastError());
            return false;
        }
        output.File = reinterpret_cast<std::intptr_t>(handle);
        output.WriteInto = true;
        return true;
    }
    // Named as the system's calls take it, by Ctrl-C's handler too.
    std::wstring temporary = SystemPath(TemporaryBeside(file));
    if (!Arm(temporary)) {
        error = "cannot create a temporary file in " + Shown(file.parent_path()) + ": too many at once";
        return false;
    }
    handle = CreateFileW(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        error = "cannot create a temporary file in " + Shown(file.parent_path()) + ": " + SystemMessage(code);
        Disarm(temporary);
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
        error = "cannot write: " + SystemMessage(GetLastError());
    if (!CloseHandle(handle) && done) {
        error = "cannot write: " + SystemMessage(GetLastError());
        done = false;
    }
    output.File = -1;
    if (done && !output.WriteInto &&
        !MoveFileExW(output.Temporary.c_str(), SystemPath(output.Name).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = "cannot rename the temporary file over it: " + SystemMessage(GetLastError());
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
    HANDLE handle =
        CreateFileW(SystemPath(TemporaryBeside(folder / L"verdimoor")).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        error = "cannot create a temporary file in " + (beside.Temporary.empty() ? Shown(folder) : beside.FolderShown) +
                ": " + SystemMessage(code);
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
        error = SystemMessage(GetLastError());
        return false;
    }
    read = got;
    return true;
}

bool RewindFile(std::intptr_t file, std::string& error)
{
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(reinterpret_cast<HANDLE>(file), start, nullptr, FILE_BEGIN)) {
        error = SystemMessage(GetLastError());
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
            error = SystemMessage(GetLastError());
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

bool WriteToStandardOutput(std::string_view bytes, std::string& error)
{
    static std::string pending;
    static const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    static const bool console = IsConsole(out);
    std::fflush(stdout);
    return console ? WriteToConsole(out, bytes, pending, error)
                   : WriteToFile(reinterpret_cast<std::intptr_t>(out), bytes, error);
}

void WriteToStandardError(std::string_view text)
{
    static std::string pending;
    static const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    static const bool console = IsConsole(err);
    std::string ignored;
    if (console)
        WriteToConsole(err, text, pending, ignored);
    else
        std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace report
