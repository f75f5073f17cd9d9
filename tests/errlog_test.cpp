// SPDX-License-Identifier: Apache-2.0
// Err.log: where entries land, their bytes, and what happens when parts fail.
#include <thread>
#include <unistd.h>

#include "helpers.h"
#include "service/service.h"
#include "service_reset.h"
#include "tests/fake/fake.h"
#include "uptime/errlog.h"

namespace {

class ErrLogTest : public ServiceTest {
protected:
    TempDir Cwd;
    InFolder Here{Cwd};
    TempDir Program;
    // Fails a status report, leaving its last error, and logs it.
    static void FailStatusReport()
    {
        SERVICE_STATUS status = {};
        SetServiceStatus(0, &status);
        LogError("SetServiceStatus");
    }
    static void FailRegistration()
    {
        FakeFail.Registration = true;
        RegisterServiceCtrlHandlerA(ServiceName, ServiceCtrlHandler);
        LogError("RegisterServiceCtrlHandler");
    }
};

const std::string RegistrationEntry = "Error: RegisterServiceCtrlHandler Message 1083.\r\r\n";
const std::string StatusEntry = "Error: SetServiceStatus Message 6.\r\r\n";

TEST_F(ErrLogTest, BeforeStartUpInTheCurrentFolderAfterItInTheProgramFolder)
{
    FailRegistration();
    FakeSetModulePath(Program.Path("verdimoor").c_str());
    ServiceInitialization();
    FailStatusReport();
    FailStatusReport();
    EXPECT_EQ(ReadWholeFile(Cwd.Path("Err.log")), RegistrationEntry);
    EXPECT_EQ(ReadWholeFile(Program.Path("Err.log")), StatusEntry + StatusEntry);
}

TEST_F(ErrLogTest, AsksForTheSystemTextAndReleasesIt)
{
    FailStatusReport();
    std::vector<std::string> expected = {"FormatMessageA 0x1100 6 0x400 0", "LocalFree"};
    EXPECT_EQ(FakeCalls(), expected);
}

TEST_F(ErrLogTest, MissingMessageTextGivesTheCode)
{
    FakeFail.MessageText = true;
    FailRegistration();
    FailStatusReport();
    EXPECT_EQ(ReadWholeFile(Cwd.Path("Err.log")),
              "Error: RegisterServiceCtrlHandler 1083\r\r\nError: SetServiceStatus 6\r\r\n");
}

TEST_F(ErrLogTest, UnopenableErrLogIsSkipped)
{
    ASSERT_EQ(mkdir(Cwd.Path("Err.log").c_str(), 0700), 0);
    FailStatusReport();
    ErrLogPath[0] = '\0';
    FailStatusReport();
    snprintf(ErrLogPath, sizeof ErrLogPath, "%s", Cwd.Path("no such folder/Err.log").c_str());
    FailStatusReport();
    EXPECT_TRUE(FakeCalls().empty());
}

TEST_F(ErrLogTest, EntriesOfTwoThreadsNeverInterleave)
{
    const int each = 300;
    std::thread registration([] {
        for (int i = 0; i < each; i++)
            FailRegistration();
    });
    for (int i = 0; i < each; i++)
        FailStatusReport();
    registration.join();

    std::string log = ReadWholeFile(Cwd.Path("Err.log"));
    int registrations = 0;
    int reports = 0;
    for (size_t at = 0; at < log.size();) {
        if (log.compare(at, RegistrationEntry.size(), RegistrationEntry) == 0) {
            registrations++;
            at += RegistrationEntry.size();
        } else if (log.compare(at, StatusEntry.size(), StatusEntry) == 0) {
            reports++;
            at += StatusEntry.size();
        } else {
            FAIL() << "broken entry at byte " << at;
        }
    }
    EXPECT_EQ(registrations, each);
    EXPECT_EQ(reports, each);
}

}  // namespace
