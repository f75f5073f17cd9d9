// SPDX-License-Identifier: Apache-2.0
// The process entry: the dispatcher, the exit code, and the record lock it
// keeps at the end.
#include <unistd.h>

#include "helpers.h"
#include "service/service.h"
#include "service_reset.h"
#include "tests/fake/fake.h"

namespace {

class EntryTest : public ServiceTest {
protected:
    TempDir Dir;
    TempDir Cwd;
    InFolder Here{Cwd};
    void SetUp() override
    {
        ServiceTest::SetUp();
        FakeSetModulePath(Dir.Path("verdimoor").c_str());
        FakeSetLocalTime(2026, 12, 8, 10, 0);
    }
    // Runs the entry; it returns holding the record lock, which is given back
    // here so that the service thread can finish.
    static int Enter()
    {
        int code = WinMain(nullptr, nullptr, const_cast<LPSTR>("ignored arguments"), 0);
        ReleaseSRWLockExclusive(&RecordLock);
        FakeJoinServiceThread();
        return code;
    }
};

TEST_F(EntryTest, ExitCodeIsOneAfterAStop)
{
    FakeScheduleControl(45 * 1000, SERVICE_CONTROL_STOP);
    EXPECT_EQ(Enter(), 1);
    EXPECT_EQ(ReadWholeFile(Dir.Path("2026_12.log")), "8 600 UP\r\n8 600 DOWN    \r\n");
}

TEST_F(EntryTest, ExitCodeIsOneWithoutAServiceManagerAndNoFileIsWritten)
{
    FakeFail.Dispatcher = true;
    EXPECT_EQ(Enter(), 1);
    EXPECT_FALSE(FileExists(Dir.Path("2026_12.log")));
    EXPECT_FALSE(FileExists(Cwd.Path("Err.log")));
}

}  // namespace
