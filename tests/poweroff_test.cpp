// SPDX-License-Identifier: Apache-2.0
// The power-off request and the shutdown privilege it needs.
#include <unistd.h>

#include "helpers.h"
#include "service/service.h"
#include "service_reset.h"
#include "tests/fake/fake.h"

namespace {

using Calls = std::vector<std::string>;

const Calls Version = {"GetVersionExA 148"};
const Calls Token = {"OpenProcessToken 0x28"};
const Calls Lookup = {"LookupPrivilegeValueA SeShutdownPrivilege"};
const Calls Adjust = {"AdjustTokenPrivileges 0 1 luid 19 attributes 2"};
const Calls Close = {"CloseHandle token"};
const Calls Request = {"ExitWindowsEx 1 0"};

Calls Join(std::initializer_list<Calls> parts)
{
    Calls all;
    for (const Calls& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

class PowerOffTest : public ServiceTest {
protected:
    TempDir Cwd;
    InFolder Here{Cwd};
};

TEST_F(PowerOffTest, EachPathMakesTheCallsInOrder)
{
    struct {
        const char* Name;
        DWORD Platform;
        bool FakeFailures::*Failure;
        bool Result;
        DWORD Error;
        Calls Expected;
    } const cases[] = {
        {"NT, privilege enabled", VER_PLATFORM_WIN32_NT, nullptr, true, 0,
         Join({Version, Token, Lookup, Adjust, Close, Request})},
        {"another platform", 1, nullptr, true, 0, Join({Version, Request})},
        {"no token", VER_PLATFORM_WIN32_NT, &FakeFailures::Token, false, FakeTokenError, Join({Version, Token})},
        {"no privilege value", VER_PLATFORM_WIN32_NT, &FakeFailures::PrivilegeValue, false, FakePrivilegeValueError,
         Join({Version, Token, Lookup, Close})},
        {"privilege not assigned", VER_PLATFORM_WIN32_NT, &FakeFailures::PrivilegeNotAssigned, false,
         ERROR_NOT_ALL_ASSIGNED, Join({Version, Token, Lookup, Adjust, Close})},
        {"request refused", VER_PLATFORM_WIN32_NT, &FakeFailures::Shutdown, false, FakeShutdownError,
         Join({Version, Token, Lookup, Adjust, Close, Request})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        ResetService();
        FakePlatformId = c.Platform;
        if (c.Failure != nullptr)
            FakeFail.*c.Failure = true;
        DWORD error = 99;
        EXPECT_EQ(PowerOffSystem(&error), c.Result);
        EXPECT_EQ(error, c.Error);
        EXPECT_EQ(FakeCalls(), c.Expected);
        EXPECT_EQ(FakeShutdownRequests(), c.Result ? 1 : 0);
    }
    // Nothing is logged on any path.
    EXPECT_FALSE(FileExists(Cwd.Path("Err.log")));
}

}  // namespace
