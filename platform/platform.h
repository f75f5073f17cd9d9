// SPDX-License-Identifier: Apache-2.0
// The operating-system operations the service uses, under the names and
// types Windows gives them. On Windows they are the real API; the POSIX host
// and the test double provide the same declarations, so that uptime/ and
// service/ are one code on every host.
#pragma once

#ifdef _WIN32

#include <windows.h>

// What separates the parts of the executable's path.
const char PathSeparator = '\\';
// Room for a path of MAX_PATH - 1 UTF-16 units as UTF-8, each unit at most
// three bytes, and its NUL.
const size_t PathSize = 3 * MAX_PATH;

#else

#include <cerrno>
#include <climits>
#include <cstdint>
#include <ctime>
#include <pthread.h>

#define WINAPI
#define CALLBACK

typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef int32_t LONG;
typedef int BOOL;
typedef char CHAR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* HANDLE;
typedef void* HINSTANCE;
typedef void* HMODULE;
typedef void* HLOCAL;
typedef HANDLE* PHANDLE;
typedef uintptr_t SERVICE_STATUS_HANDLE;

const char PathSeparator = '/';

#define TRUE 1
#define FALSE 0

// The longest path the host hands out, terminating NUL included.
#define MAX_PATH PATH_MAX
const size_t PathSize = PATH_MAX;

typedef struct {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
} SYSTEMTIME;

typedef struct {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
} SERVICE_STATUS;

typedef void(WINAPI* LPHANDLER_FUNCTION)(DWORD control);
typedef void(WINAPI* LPSERVICE_MAIN_FUNCTIONA)(DWORD argc, LPSTR* argv);

typedef struct {
    LPSTR lpServiceName;
    LPSERVICE_MAIN_FUNCTIONA lpServiceProc;
} SERVICE_TABLE_ENTRYA;

typedef struct {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
} OSVERSIONINFOA;

typedef struct {
    DWORD LowPart;
    LONG HighPart;
} LUID;

typedef struct {
    LUID Luid;
    DWORD Attributes;
} LUID_AND_ATTRIBUTES;

typedef struct {
    DWORD PrivilegeCount;
    LUID_AND_ATTRIBUTES Privileges[1];
} TOKEN_PRIVILEGES;
typedef TOKEN_PRIVILEGES* PTOKEN_PRIVILEGES;

// A slim lock that needs no initialisation call: SRWLOCK_INIT sets it up.
typedef struct {
    pthread_mutex_t Mutex;
} SRWLOCK;
// clang-format off
#define SRWLOCK_INIT {PTHREAD_MUTEX_INITIALIZER}
// clang-format on

#define SERVICE_WIN32 0x30
#define SERVICE_STOPPED 1
#define SERVICE_START_PENDING 2
#define SERVICE_RUNNING 4
#define SERVICE_ACCEPT_STOP 1
#define SERVICE_ACCEPT_SHUTDOWN 4
#define SERVICE_CONTROL_STOP 1
#define SERVICE_CONTROL_PAUSE 2
#define SERVICE_CONTROL_INTERROGATE 4
#define SERVICE_CONTROL_SHUTDOWN 5

#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ALL_ASSIGNED 1300
#define ERROR_FAILED_SERVICE_CONTROLLER_CONNECT 1063
// GetLastError gives errno values here: a missing file, and a file past the
// size it may have.
#define ERROR_FILE_NOT_FOUND ENOENT
#define ERROR_FILE_TOO_LARGE EFBIG

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x200
#define FORMAT_MESSAGE_FROM_SYSTEM 0x1000
#define LANG_NEUTRAL 0
#define SUBLANG_DEFAULT 1
#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))

#define VER_PLATFORM_WIN32_NT 2
#define TOKEN_ADJUST_PRIVILEGES 0x20
#define TOKEN_QUERY 0x8
#define SE_PRIVILEGE_ENABLED 2
#define SE_SHUTDOWN_NAME "SeShutdownPrivilege"
#define EWX_SHUTDOWN 1

void WINAPI GetLocalTime(SYSTEMTIME* time);
void WINAPI GetSystemTime(SYSTEMTIME* time);
void WINAPI Sleep(DWORD milliseconds);
DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR path, DWORD size);
DWORD WINAPI GetLastError();
DWORD WINAPI FormatMessageA(DWORD flags, const void* source, DWORD code, DWORD language, LPSTR buffer, DWORD size,
                            void* arguments);
HLOCAL WINAPI LocalFree(HLOCAL memory);

BOOL WINAPI GetVersionExA(OSVERSIONINFOA* version);
HANDLE WINAPI GetCurrentProcess();
BOOL WINAPI OpenProcessToken(HANDLE process, DWORD access, PHANDLE token);
BOOL WINAPI LookupPrivilegeValueA(LPCSTR system, LPCSTR name, LUID* luid);
BOOL WINAPI AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES state, DWORD length,
                                  PTOKEN_PRIVILEGES previous, DWORD* returnLength);
BOOL WINAPI CloseHandle(HANDLE handle);
BOOL WINAPI ExitWindowsEx(unsigned flags, DWORD reason);

BOOL WINAPI StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA* table);
SERVICE_STATUS_HANDLE WINAPI RegisterServiceCtrlHandlerA(LPCSTR name, LPHANDLER_FUNCTION handler);
BOOL WINAPI SetServiceStatus(SERVICE_STATUS_HANDLE handle, SERVICE_STATUS* status);

void WINAPI AcquireSRWLockExclusive(SRWLOCK* lock);
void WINAPI ReleaseSRWLockExclusive(SRWLOCK* lock);

// The process entry, called by the host's main().
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);

// A civil time as GetLocalTime gives it: shared by the host's clock and the
// test double's.
void SystemTimeOf(const struct tm& civil, long milliseconds, SYSTEMTIME* time);

// Says "verdimoor: " and text as one line on standard error, the journal
// under systemd, which then reads the syslog priority it starts with
// (LOG_ERR, LOG_WARNING, LOG_INFO). The POSIX host's own.
void SayOnStandardError(int priority, const char* text);

#endif

#include <cstddef>
#include <cstdint>
#include <cstring>

// Paths and the texts the service says are UTF-8 on every host, in buffers of
// PathSize bytes. The executable's full path: its length, which is less than
// size; anything else when it could not be had in full.
DWORD GetProgramFileName(char* path, DWORD size);
// The system's message for error, ended as the system ends it: its length;
// 0 when there is none or it does not fit into size bytes.
DWORD GetSystemMessage(DWORD error, char* text, DWORD size);
// A path as the log's APDOWN line shows it: on Windows in the system's ANSI
// code page, one '?' for each character the code page cannot show; elsewhere
// as it is. False when it does not fit into size bytes.
bool GetPathInCodePage(const char* path, char* text, size_t size);

// Stored files. Bytes go to and come from the file exactly as given; every
// file is shared for reading and writing with other processes.

typedef intptr_t FileId;
const FileId NoFile = -1;

// Opens an existing file for reading; NoFile when it cannot be opened or is
// not a regular file.
FileId OpenFileForReading(const char* path);
// Opens a file for reading and writing, creating it if create is set. A file
// it creates has its folder entry on stable storage before this returns.
FileId OpenFileForUpdate(const char* path, bool create);
// Moves to the end; returns the length, or -1.
int64_t SeekFileEnd(FileId file);
// Writes count bytes at offset; false unless all were written. Past the end
// of the file, the bytes up to offset read as zeros.
bool WriteFileBytesAt(FileId file, int64_t offset, const void* bytes, size_t count);
// Sets the length to exactly length, cutting what lies after it.
bool SetFileLength(FileId file, int64_t length);
// Sets room aside on the disk for count bytes at offset, keeping the length,
// so that writing them then cannot fail for want of space. False, with the
// last error, when there is no room: the disk or the quota is full, or the
// file may grow no larger. True when the room is set aside, and where the
// file system has no way to set it aside.
bool ReserveFileBytes(FileId file, int64_t offset, int64_t count);
// The length, or -1.
int64_t FileLength(FileId file);
// Reads up to size bytes; returns the number read, 0 at the end, -1 on error.
long ReadFileBytes(FileId file, void* buffer, size_t size);
// Reads up to size bytes at offset, as ReadFileBytes.
long ReadFileBytesAt(FileId file, int64_t offset, void* buffer, size_t size);
// Flushes the file's data to stable storage.
bool FlushFileToDisk(FileId file);
void CloseFileId(FileId file);

// What the service tells the administrator, each under a fixed number: its
// event ID in the Windows event log.
enum ServiceEvent {
    // Started, with the schedule read (information).
    EventStarted = 1,
    // PowerOFF.txt read in a way its text may not mean (warning).
    EventScheduleText = 2,
    // A record could not be written (error), said once until one can.
    EventRecordWriteFailed = 3,
    // Records can be written again (information).
    EventRecordWriteWorks = 4,
    // The power-off could not be requested (error).
    EventPowerOffFailed = 5,
};

// How grave an event is: its type in the Windows event log, its priority in
// the journal.
enum ServiceEventLevel { EventInformation, EventWarning, EventError };

inline ServiceEventLevel LevelOf(ServiceEvent event)
{
    if (event == EventScheduleText)
        return EventWarning;
    if (event == EventRecordWriteFailed || event == EventPowerOffFailed)
        return EventError;
    return EventInformation;
}

// Tells the administrator text, one line without its end, where the host has
// a place for it. A failure to tell is ignored: the log comes first.
void ReportServiceEvent(ServiceEvent event, const char* text);
// Room for the longest such text and its NUL: a path of PathSize - 1 bytes,
// a system message and the words around them.
const size_t ServiceEventTextSize = PathSize + 768;

#ifndef _WIN32
// The POSIX host and the test double have paths and messages in the bytes
// the system gives them.
inline DWORD GetProgramFileName(char* path, DWORD size)
{
    return GetModuleFileNameA(nullptr, path, size);
}

inline DWORD GetSystemMessage(DWORD error, char* text, DWORD size)
{
    return FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                          MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, size, nullptr);
}

inline bool GetPathInCodePage(const char* path, char* text, size_t size)
{
    size_t length = strlen(path);
    if (length >= size)
        return false;
    memcpy(text, path, length + 1);
    return true;
}
#endif
