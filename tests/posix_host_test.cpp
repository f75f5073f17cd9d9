// SPDX-License-Identifier: Apache-2.0
// The POSIX host's own operations, as the service relies on them. No test
// here ever calls the power-off request, nor any code that calls it.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <functional>
#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/platform.h"

namespace {

bool ShutdownPrivilegeEnabled()
{
    HANDLE token;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token) ||
        !LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid))
        return false;
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    bool enabled = GetLastError() == 0;
    CloseHandle(token);
    return enabled;
}

bool HoldsBootCapability()
{
    __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct sets[2];
    return syscall(SYS_capget, &header, sets) == 0 && (sets[0].effective & (1u << CAP_SYS_BOOT)) != 0;
}

TEST(PosixHost, ShutdownPrivilegeIsTheBootCapability)
{
    EXPECT_EQ(ShutdownPrivilegeEnabled(), HoldsBootCapability());

    // A child without the capability is refused, with a nonzero last error.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct sets[2];
        syscall(SYS_capget, &header, sets);
        sets[0].effective &= ~(1u << CAP_SYS_BOOT);
        syscall(SYS_capset, &header, sets);
        HANDLE token;
        TOKEN_PRIVILEGES privileges = {1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
        OpenProcessToken(GetCurrentProcess(), 0x28, &token);
        LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid);
        BOOL done = AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
        _exit(done && GetLastError() == EPERM && !ShutdownPrivilegeEnabled() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(PosixHost, UnknownPrivilegeIsNotFound)
{
    LUID luid;
    EXPECT_FALSE(LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &luid));
    EXPECT_NE(GetLastError(), 0u);
}

TEST(PosixHost, MessageTextIsTheLibrarysEndedWithCrLf)
{
    char* text = nullptr;
    DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, ENOENT,
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0, nullptr);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), "No such file or directory\r\n");
    EXPECT_EQ(length, 27u);
    EXPECT_EQ(LocalFree(text), nullptr);

    text = nullptr;
    EXPECT_EQ(FormatMessageA(0x1100, nullptr, 99999, 0x400, reinterpret_cast<LPSTR>(&text), 0, nullptr), 0u);
    EXPECT_EQ(text, nullptr);

    // Into the caller's buffer, only whole.
    char given[28] = "";
    EXPECT_EQ(FormatMessageA(0x1200, nullptr, ENOENT, 0x400, given, sizeof given, nullptr), 27u);
    EXPECT_STREQ(given, "No such file or directory\r\n");
    EXPECT_EQ(FormatMessageA(0x1200, nullptr, ENOENT, 0x400, given, sizeof given - 1, nullptr), 0u);
}

TEST(PosixHost, ModulePathIsTheExecutableAndCutShortIsSaid)
{
    char expected[4096];
    ssize_t length = readlink("/proc/self/exe", expected, sizeof expected - 1);
    ASSERT_GT(length, 0);
    expected[length] = '\0';
    char path[MAX_PATH];
    EXPECT_EQ(GetModuleFileNameA(nullptr, path, sizeof path), static_cast<DWORD>(length));
    EXPECT_STREQ(path, expected);
    char tiny[4];
    EXPECT_EQ(GetModuleFileNameA(nullptr, tiny, sizeof tiny), sizeof tiny);
    EXPECT_EQ(tiny[3], '\0');
}

void Interrupted(int) {}

// The sleep lasts its full time: neither signals nor changes of the mounts,
// which it waits on for the zone's sake, cut it short. The mounts come and go
// in a mount namespace of the test's own, entered before the first sleep
// opens the mount table.
TEST(PosixHost, SleepIsNotCutShort)
{
    char folder[] = "/tmp/verdimoor-test-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    bool ownMounts = unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    struct sigaction action = {};
    action.sa_handler = Interrupted;
    sigaction(SIGUSR2, &action, nullptr);
    pthread_t sleeper = pthread_self();
    const struct {
        const char* Name;
        bool Possible;
        std::function<void()> Interrupt;
    } cases[] = {
        {"signals", true, [sleeper] { pthread_kill(sleeper, SIGUSR2); }},
        {"mounts", ownMounts,
         [&folder] {
             mount("verdimoor-test", folder, "tmpfs", 0, "size=16k");
             umount2(folder, MNT_DETACH);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        if (!c.Possible)
            continue;
        std::thread interrupter([&c] {
            for (int i = 0; i < 10; i++) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                c.Interrupt();
            }
        });
        auto start = std::chrono::steady_clock::now();
        Sleep(300);
        auto slept = std::chrono::steady_clock::now() - start;
        interrupter.join();
        EXPECT_GE(slept, std::chrono::milliseconds(300));
    }
    signal(SIGUSR2, SIG_DFL);
    rmdir(folder);
}

}  // namespace
