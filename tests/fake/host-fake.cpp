// SPDX-License-Identifier: Apache-2.0
// The test double: every operation of platform.h that is not a stored file,
// driven and recorded by the tests.
#include "tests/fake/fake.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>
#include <unistd.h>

FakeFailures FakeFail;
DWORD FakePlatformId;

namespace {

// Virtual time past which a test is taken to have lost its stop control.
const uint64_t SleepLimitMilliseconds = 14ull * 24 * 3600 * 1000;

std::mutex Guard;
std::condition_variable StatusReported;
time_t ClockBase;
uint64_t Elapsed;
bool InLocalZone;
int Sleeps;
unsigned RealSleepMicroseconds;
std::string ModulePath;
std::vector<std::pair<uint64_t, std::function<void()>>> Moments;
std::vector<FakeStatusReport> Reports;
std::vector<std::string> Calls;
std::vector<std::string> Events;
int ShutdownRequests;
std::string RegisteredName;
LPHANDLER_FUNCTION RegisteredHandler;
std::thread ServiceThread;

void Record(const std::string& call)
{
    std::lock_guard<std::mutex> hold(Guard);
    Calls.push_back(call);
}

// The last error is errno, as on the POSIX host, so that the stored files'
// errors read through GetLastError too.
void Fail(DWORD error)
{
    errno = static_cast<int>(error);
}

}  // namespace

void FakeReset()
{
    FakeJoinServiceThread();
    std::lock_guard<std::mutex> hold(Guard);
    FakeFail = FakeFailures{};
    FakePlatformId = VER_PLATFORM_WIN32_NT;
    ClockBase = 0;
    Elapsed = 0;
    InLocalZone = false;
    Sleeps = 0;
    RealSleepMicroseconds = 0;
    ModulePath.clear();
    Moments.clear();
    Reports.clear();
    Calls.clear();
    Events.clear();
    ShutdownRequests = 0;
    RegisteredName.clear();
    RegisteredHandler = nullptr;
    errno = 0;
}

void FakeSetLocalTime(int year, int month, int day, int hour, int minute, int second)
{
    struct tm start = {};
    start.tm_year = year - 1900;
    start.tm_mon = month - 1;
    start.tm_mday = day;
    start.tm_hour = hour;
    start.tm_min = minute;
    start.tm_sec = second;
    start.tm_isdst = -1;
    std::lock_guard<std::mutex> hold(Guard);
    ClockBase = InLocalZone ? mktime(&start) : timegm(&start);
    Elapsed = 0;
}

void FakeUseLocalZone()
{
    std::lock_guard<std::mutex> hold(Guard);
    InLocalZone = true;
}

void FakeStepClock(int64_t seconds)
{
    std::lock_guard<std::mutex> hold(Guard);
    ClockBase += static_cast<time_t>(seconds);
}

uint64_t FakeElapsedMilliseconds()
{
    std::lock_guard<std::mutex> hold(Guard);
    return Elapsed;
}

int FakeSleepCount()
{
    std::lock_guard<std::mutex> hold(Guard);
    return Sleeps;
}

void FakeSetRealSleep(unsigned microseconds)
{
    std::lock_guard<std::mutex> hold(Guard);
    RealSleepMicroseconds = microseconds;
}

void FakeSetModulePath(const char* path)
{
    std::lock_guard<std::mutex> hold(Guard);
    ModulePath = path;
}

void FakeAtMoment(uint64_t atMilliseconds, std::function<void()> action)
{
    std::lock_guard<std::mutex> hold(Guard);
    Moments.emplace_back(atMilliseconds, std::move(action));
    std::stable_sort(Moments.begin(), Moments.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
}

void FakeScheduleControl(uint64_t atMilliseconds, DWORD control)
{
    FakeAtMoment(atMilliseconds, [control] {
        LPHANDLER_FUNCTION handler = FakeRegisteredHandler();
        if (handler != nullptr)
            handler(control);
    });
}

std::vector<FakeStatusReport> FakeStatusReports()
{
    std::lock_guard<std::mutex> hold(Guard);
    return Reports;
}

std::vector<std::string> FakeCalls()
{
    std::lock_guard<std::mutex> hold(Guard);
    return Calls;
}

std::vector<std::string> FakeEvents()
{
    std::lock_guard<std::mutex> hold(Guard);
    return Events;
}

int FakeShutdownRequests()
{
    std::lock_guard<std::mutex> hold(Guard);
    return ShutdownRequests;
}

std::string FakeRegisteredName()
{
    std::lock_guard<std::mutex> hold(Guard);
    return RegisteredName;
}

LPHANDLER_FUNCTION FakeRegisteredHandler()
{
    std::lock_guard<std::mutex> hold(Guard);
    return RegisteredHandler;
}

std::string FakeMessageText(DWORD code)
{
    return "Message " + std::to_string(code) + ".\r\n";
}

void FakeJoinServiceThread()
{
    if (ServiceThread.joinable())
        ServiceThread.join();
}

// The virtual clock is set and read in UTC, whatever the machine's zone,
// unless a test asks for the process's zone.
void WINAPI GetLocalTime(SYSTEMTIME* time)
{
    time_t now;
    bool inZone;
    {
        std::lock_guard<std::mutex> hold(Guard);
        now = ClockBase + static_cast<time_t>(Elapsed / 1000);
        inZone = InLocalZone;
    }
    struct tm civil;
    if (inZone)
        localtime_r(&now, &civil);
    else
        gmtime_r(&now, &civil);
    SystemTimeOf(civil, 0, time);
}

void WINAPI GetSystemTime(SYSTEMTIME* time)
{
    time_t now;
    {
        std::lock_guard<std::mutex> hold(Guard);
        now = ClockBase + static_cast<time_t>(Elapsed / 1000);
    }
    struct tm civil;
    gmtime_r(&now, &civil);
    SystemTimeOf(civil, 0, time);
}

// Advances the virtual clock, running the moments that fall due on the way on
// a thread of their own, each one finished before the clock moves on.
void WINAPI Sleep(DWORD milliseconds)
{
    unsigned pause;
    {
        std::unique_lock<std::mutex> hold(Guard);
        uint64_t end = Elapsed + milliseconds;
        Sleeps++;
        while (!Moments.empty() && Moments.front().first < end) {
            std::function<void()> action = std::move(Moments.front().second);
            Elapsed = std::max(Elapsed, Moments.front().first);
            Moments.erase(Moments.begin());
            hold.unlock();
            std::thread(action).join();
            hold.lock();
        }
        Elapsed = end;
        if (Elapsed > SleepLimitMilliseconds) {
            fprintf(stderr, "test double: the service slept for two weeks without being stopped\n");
            abort();
        }
        pause = RealSleepMicroseconds;
    }
    if (pause > 0)
        usleep(pause);
}

DWORD WINAPI GetModuleFileNameA(HMODULE, LPSTR path, DWORD size)
{
    std::lock_guard<std::mutex> hold(Guard);
    if (size == 0)
        return 0;
    size_t length = std::min<size_t>(ModulePath.size(), size - 1);
    memcpy(path, ModulePath.data(), length);
    path[length] = '\0';
    return ModulePath.size() >= size ? size : static_cast<DWORD>(length);
}

// The text is allocated, or copied into the caller's buffer when it fits.
DWORD WINAPI FormatMessageA(DWORD flags, const void*, DWORD code, DWORD language, LPSTR buffer, DWORD size, void*)
{
    char call[96];
    snprintf(call, sizeof call, "FormatMessageA 0x%x %lu 0x%x %lu", static_cast<unsigned>(flags),
             static_cast<unsigned long>(code), static_cast<unsigned>(language), static_cast<unsigned long>(size));
    Record(call);
    std::string text = FakeMessageText(code);
    if (FakeFail.MessageText || ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) == 0 && text.size() >= size)) {
        Fail(317);
        return 0;
    }
    char* copy = buffer;
    if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0) {
        copy = static_cast<char*>(malloc(text.size() + 1));
        *reinterpret_cast<char**>(buffer) = copy;
    }
    memcpy(copy, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}

HLOCAL WINAPI LocalFree(HLOCAL memory)
{
    Record("LocalFree");
    free(memory);
    return nullptr;
}

BOOL WINAPI GetVersionExA(OSVERSIONINFOA* version)
{
    Record("GetVersionExA " + std::to_string(version->dwOSVersionInfoSize));
    version->dwPlatformId = FakePlatformId;
    return TRUE;
}

HANDLE WINAPI GetCurrentProcess()
{
    return reinterpret_cast<HANDLE>(-1);
}

static int TokenObject;

BOOL WINAPI OpenProcessToken(HANDLE process, DWORD access, PHANDLE token)
{
    char call[64];
    snprintf(call, sizeof call, "OpenProcessToken 0x%x%s", static_cast<unsigned>(access),
             process == GetCurrentProcess() ? "" : " (not this process)");
    Record(call);
    if (FakeFail.Token) {
        Fail(FakeTokenError);
        return FALSE;
    }
    *token = &TokenObject;
    return TRUE;
}

BOOL WINAPI LookupPrivilegeValueA(LPCSTR system, LPCSTR name, LUID* luid)
{
    Record(std::string("LookupPrivilegeValueA ") + (system == nullptr ? "" : system) + name);
    if (FakeFail.PrivilegeValue) {
        Fail(FakePrivilegeValueError);
        return FALSE;
    }
    *luid = LUID{19, 0};
    return TRUE;
}

BOOL WINAPI AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES state, DWORD,
                                  PTOKEN_PRIVILEGES previous, DWORD*)
{
    char call[128];
    snprintf(call, sizeof call, "AdjustTokenPrivileges%s %d %lu luid %lu attributes %lu%s",
             token == &TokenObject ? "" : " (not the token)", disableAll,
             static_cast<unsigned long>(state->PrivilegeCount),
             static_cast<unsigned long>(state->Privileges[0].Luid.LowPart),
             static_cast<unsigned long>(state->Privileges[0].Attributes), previous == nullptr ? "" : " previous");
    Record(call);
    // Like Windows, the call succeeds even when it assigned nothing.
    errno = FakeFail.PrivilegeNotAssigned ? ERROR_NOT_ALL_ASSIGNED : 0;
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE handle)
{
    Record(handle == &TokenObject ? "CloseHandle token" : "CloseHandle other");
    return TRUE;
}

BOOL WINAPI ExitWindowsEx(unsigned flags, DWORD reason)
{
    Record("ExitWindowsEx " + std::to_string(flags) + " " + std::to_string(reason));
    if (FakeFail.Shutdown) {
        Fail(FakeShutdownError);
        return FALSE;
    }
    std::lock_guard<std::mutex> hold(Guard);
    ShutdownRequests++;
    return TRUE;
}

// Runs the service on a thread of its own and returns once it has reported
// itself stopped, as the Service Control Manager's dispatcher does.
BOOL WINAPI StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA* table)
{
    if (FakeFail.Dispatcher) {
        Fail(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
        return FALSE;
    }
    static char* arguments[] = {table[0].lpServiceName, nullptr};
    ServiceThread = std::thread(table[0].lpServiceProc, 1, arguments);
    std::unique_lock<std::mutex> hold(Guard);
    StatusReported.wait(hold,
                        [] { return !Reports.empty() && Reports.back().Status.dwCurrentState == SERVICE_STOPPED; });
    return TRUE;
}

static SERVICE_STATUS_HANDLE const FakeStatusHandle = 0x5eed;

SERVICE_STATUS_HANDLE WINAPI RegisterServiceCtrlHandlerA(LPCSTR name, LPHANDLER_FUNCTION handler)
{
    std::lock_guard<std::mutex> hold(Guard);
    RegisteredName = name;
    if (FakeFail.Registration) {
        Fail(FakeRegistrationError);
        return 0;
    }
    RegisteredHandler = handler;
    return FakeStatusHandle;
}

BOOL WINAPI SetServiceStatus(SERVICE_STATUS_HANDLE handle, SERVICE_STATUS* status)
{
    std::lock_guard<std::mutex> hold(Guard);
    if (handle != FakeStatusHandle || FakeFail.StatusReport) {
        Fail(FakeStatusError);
        return FALSE;
    }
    Reports.push_back(FakeStatusReport{handle, *status});
    StatusReported.notify_all();
    return TRUE;
}

void ReportServiceEvent(ServiceEvent event, const char* text)
{
    std::lock_guard<std::mutex> hold(Guard);
    Events.push_back(std::to_string(event) + " " + text);
}
