// SPDX-License-Identifier: Apache-2.0
// Service main, heartbeat and control handler, driven through the double's
// virtual clock and control manager.
#include <atomic>
#include <cerrno>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "helpers.h"
#include "service/service.h"
#include "service_reset.h"
#include "tests/fake/fake.h"
#include "uptime/log.h"

namespace {

const uint64_t Second = 1000;
const uint64_t Minute = 60 * Second;
const uint64_t Hour = 60 * Minute;
const uint64_t Day = 24 * Hour;

const SERVICE_STATUS Running = {SERVICE_WIN32, SERVICE_RUNNING, 5, 0, 0, 0, 0};
const SERVICE_STATUS Stopped = {SERVICE_WIN32, SERVICE_STOPPED, 1, 0, 0, 0, 0};

bool Same(const SERVICE_STATUS& a, const SERVICE_STATUS& b)
{
    return memcmp(&a, &b, sizeof a) == 0;
}

// The status records reported, in order, each checked against its handle.
std::vector<SERVICE_STATUS> Reported()
{
    std::vector<SERVICE_STATUS> reports;
    for (const FakeStatusReport& report : FakeStatusReports()) {
        EXPECT_EQ(report.Handle, StatusHandle);
        reports.push_back(report.Status);
    }
    return reports;
}

void ExpectReports(const std::vector<SERVICE_STATUS>& expected)
{
    std::vector<SERVICE_STATUS> reports = Reported();
    ASSERT_EQ(reports.size(), expected.size());
    for (size_t i = 0; i < reports.size(); i++)
        EXPECT_TRUE(Same(reports[i], expected[i])) << "report " << i << " state " << reports[i].dwCurrentState
                                                   << " accepted " << reports[i].dwControlsAccepted;
}

class ServiceMainTest : public ServiceTest {
protected:
    TempDir Dir;
    std::string Log() const { return ReadWholeFile(Dir.Path("2026_12.log")); }
    std::string Apdown(int day, const char* announced) const
    {
        return std::to_string(day) + " " + announced + " " + Dir.Path("PowerOFF.txt") + " APDOWN\r\n";
    }
    // Runs the service from the given moment of December 2026 until it leaves
    // its heartbeat loop.
    void Run(int day, int hour, int minute, int second = 0)
    {
        FakeSetModulePath(Dir.Path("verdimoor").c_str());
        FakeSetLocalTime(2026, 12, day, hour, minute, second);
        ServiceMain(0, nullptr);
    }
    // Keeps the log as it stands at a virtual moment.
    void Snapshot(uint64_t at, std::string* log)
    {
        FakeAtMoment(at, [this, log] { *log = Log(); });
    }
};

TEST_F(ServiceMainTest, TypicalDay)
{
    std::string beforeHeartbeat, firstHeartbeat, laterHeartbeat;
    Snapshot(30 * Second - 1, &beforeHeartbeat);
    Snapshot(30 * Second + 1, &firstHeartbeat);
    Snapshot(90 * Second + 1, &laterHeartbeat);
    FakeScheduleControl(7 * Hour, SERVICE_CONTROL_SHUTDOWN);
    Run(8, 10, 0);

    EXPECT_EQ(beforeHeartbeat, "8 600 UP\r\n8 600 CRASH\r\n" + Apdown(8, "3660"));
    EXPECT_EQ(firstHeartbeat, "8 600 UP\r\n8 600 CRASH\r\n");
    EXPECT_EQ(laterHeartbeat, "8 600 UP\r\n8 601 CRASH\r\n");
    std::string day = "8 600 UP\r\n8 1020 DOWN    \r\n";
    EXPECT_EQ(Log(), day);

    ResetService();
    FakeScheduleControl(10 * Second, SERVICE_CONTROL_STOP);
    Run(9, 9, 0);
    EXPECT_EQ(Log(), day + "9 540 UP\r\n9 540 DOWN    \r\n");
}

TEST_F(ServiceMainTest, EveryControlIsAnsweredAndOnlyStopAndShutdownChangeTheRecord)
{
    FakeScheduleControl(5 * Second, SERVICE_CONTROL_INTERROGATE);
    FakeScheduleControl(6 * Second, SERVICE_CONTROL_PAUSE);
    FakeScheduleControl(7 * Second, 128);
    FakeScheduleControl(40 * Second, SERVICE_CONTROL_STOP);
    Run(8, 10, 0);
    EXPECT_EQ(FakeRegisteredName(), "Verdimoor");
    ExpectReports({Running, Running, Running, Running, Stopped});
    EXPECT_EQ(Log(), "8 600 UP\r\n8 600 DOWN    \r\n");
}

TEST_F(ServiceMainTest, StopBeforeTheFirstHeartbeat)
{
    std::string afterStop;
    FakeScheduleControl(10 * Second, SERVICE_CONTROL_STOP);
    Snapshot(10 * Second + 1, &afterStop);
    Run(8, 10, 0);
    // The tick that was asleep during the stop writes nothing, and no other
    // tick begins.
    EXPECT_EQ(afterStop, "8 600 UP\r\n8 600 DOWN    \r\n");
    EXPECT_EQ(Log(), afterStop);
    EXPECT_EQ(FakeSleepCount(), 1);
    ExpectReports({Running, Stopped});
}

TEST_F(ServiceMainTest, SecondStopWritesDownAgainWithItsTime)
{
    FakeScheduleControl(10 * Second, SERVICE_CONTROL_STOP);
    FakeScheduleControl(25 * Second, SERVICE_CONTROL_SHUTDOWN);
    Run(8, 9, 59, 40);
    EXPECT_EQ(Log(), "8 599 UP\r\n8 600 DOWN    \r\n");
    ExpectReports({Running, Stopped, Stopped});
}

TEST_F(ServiceMainTest, ScheduledMinuteWritesPdownOnEachTickAndShutdownTurnsItIntoDown)
{
    WriteWholeFile(Dir.Path("PowerOFF.txt"), "10 1");
    std::string firstTick, secondTick;
    Snapshot(60 * Second + 1, &firstTick);
    Snapshot(90 * Second + 1, &secondTick);
    FakeScheduleControl(100 * Second, SERVICE_CONTROL_SHUTDOWN);
    Run(8, 10, 0);
    EXPECT_EQ(firstTick, "8 600 UP\r\n8 601 PDOWN\r\n");
    EXPECT_EQ(secondTick, firstTick);
    EXPECT_EQ(Log(), "8 600 UP\r\n8 601 DOWN    \r\n");
    EXPECT_EQ(FakeShutdownRequests(), 2);
}

// The scheduled minute as the clock changes, in real zones: the PDOWN lines
// the ticks leave, and a power-off request with each. A minute that summer
// time skips fires in the first minute after the gap, at every tick of it,
// as cron has it; one that the change back shows twice fires in its first
// pass alone. A clock set by hand keeps the zone's offset: set on, it fires
// nothing it passed over; set back, it fires again. An offset moved on by
// more than summer time ever moves it is a new zone, and fires nothing.
TEST_F(ServiceMainTest, ScheduledMinuteAsTheClockChanges)
{
    const std::vector<std::string> none;
    const struct {
        const char* Name;
        const char* Zone;
        int Year, Month, Day, Hour, Minute;  // the start, local
        const char* Schedule;
        uint64_t SetAt;        // when the clock is set by hand, if ever
        int64_t SetBy;         // seconds
        const char* SwitchTo;  // or the zone then switched to
        uint64_t Stop;         // when the service is stopped
        std::vector<std::string> Pdown;
    } cases[] = {
        {"skipped",
         "Europe/Berlin",
         2027,
         3,
         28,
         1,
         58,
         "2:30",
         0,
         0,
         nullptr,
         5 * Minute,
         {"28 180 PDOWN", "28 180 PDOWN"}},
        {"skipped first",
         "Europe/Berlin",
         2027,
         3,
         28,
         1,
         58,
         "2:00",
         0,
         0,
         nullptr,
         5 * Minute,
         {"28 180 PDOWN", "28 180 PDOWN"}},
        {"skipped last",
         "Europe/Berlin",
         2027,
         3,
         28,
         1,
         58,
         "2:59",
         0,
         0,
         nullptr,
         5 * Minute,
         {"28 180 PDOWN", "28 180 PDOWN"}},
        {"after the gap",
         "Europe/Berlin",
         2027,
         3,
         28,
         1,
         58,
         "3:00",
         0,
         0,
         nullptr,
         5 * Minute,
         {"28 180 PDOWN", "28 180 PDOWN"}},
        {"before the gap",
         "Europe/Berlin",
         2027,
         3,
         28,
         1,
         58,
         "1:59",
         0,
         0,
         nullptr,
         5 * Minute,
         {"28 119 PDOWN", "28 119 PDOWN"}},
        {"not on the day", "Europe/Berlin", 2027, 3, 27, 1, 58, "2:30", 0, 0, nullptr, 5 * Minute, none},
        {"a gap past midnight",
         "America/Santiago",
         2027,
         9,
         4,
         23,
         58,
         "0:30",
         0,
         0,
         nullptr,
         5 * Minute,
         {"5 60 PDOWN", "5 60 PDOWN"}},
        {"a gap up to midnight",
         "America/Nuuk",
         2027,
         3,
         27,
         22,
         58,
         "23:30",
         0,
         0,
         nullptr,
         5 * Minute,
         {"28 0 PDOWN", "28 0 PDOWN"}},
        {"a half-hour gap",
         "Australia/Lord_Howe",
         2027,
         10,
         3,
         1,
         58,
         "2:15",
         0,
         0,
         nullptr,
         5 * Minute,
         {"3 150 PDOWN", "3 150 PDOWN"}},
        {"repeated",
         "Europe/Berlin",
         2027,
         10,
         31,
         2,
         28,
         "2:30",
         0,
         0,
         nullptr,
         65 * Minute,
         {"31 150 PDOWN", "31 150 PDOWN"}},
        {"set on by hand", "Europe/Berlin", 2027, 6, 1, 1, 58, "2:30", 90 * Second + 2, 3600, nullptr, 5 * Minute,
         none},
        {"set back by hand",
         "Europe/Berlin",
         2027,
         6,
         1,
         2,
         28,
         "2:30",
         150 * Second + 2,
         -300,
         nullptr,
         10 * Minute,
         {"1 150 PDOWN", "1 150 PDOWN", "1 150 PDOWN", "1 150 PDOWN"}},
        {"zone switched on", "UTC", 2027, 6, 1, 9, 58, "15:00", 90 * Second + 2, 0, "Asia/Tokyo", 5 * Minute, none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        ResetService();
        InZone zone(c.Zone);
        FakeUseLocalZone();
        WriteWholeFile(Dir.Path("PowerOFF.txt"), c.Schedule);
        std::string log = Dir.Path(std::to_string(c.Year) + "_" + std::to_string(c.Month) + ".log");
        unlink(log.c_str());
        std::vector<std::string> pdown;
        for (uint64_t tick = 30 * Second; tick < c.Stop; tick += 30 * Second) {
            FakeAtMoment(tick + 1, [&log, &pdown] {
                std::string lines = ReadWholeFile(log);
                size_t start = lines.rfind("\r\n", lines.size() - 3);
                std::string last = lines.substr(start + 2, lines.size() - start - 4);
                if (last.find("PDOWN") != std::string::npos)
                    pdown.push_back(last);
            });
        }
        if (c.SetAt != 0)
            FakeAtMoment(c.SetAt, [&c] {
                if (c.SwitchTo != nullptr) {
                    setenv("TZ", c.SwitchTo, 1);
                    tzset();
                }
                FakeStepClock(c.SetBy);
            });
        FakeScheduleControl(c.Stop, SERVICE_CONTROL_STOP);
        FakeSetModulePath(Dir.Path("verdimoor").c_str());
        FakeSetLocalTime(c.Year, c.Month, c.Day, c.Hour, c.Minute);
        ServiceMain(0, nullptr);
        EXPECT_EQ(pdown, c.Pdown);
        EXPECT_EQ(FakeShutdownRequests(), static_cast<int>(c.Pdown.size()));
    }
}

// A power-off that cannot be requested is said once in its minute, however
// many ticks fall into it, and again in the next day's.
TEST_F(ServiceMainTest, PowerOffThatCannotBeRequestedIsSaidOnceAMinute)
{
    WriteWholeFile(Dir.Path("PowerOFF.txt"), "10 1");
    FakeFail.PrivilegeNotAssigned = true;
    FakeScheduleControl(Day + 100 * Second, SERVICE_CONTROL_STOP);
    Run(8, 10, 0);
    std::string refused = "5 cannot power off: Message " + std::to_string(ERROR_NOT_ALL_ASSIGNED) + ".";
    EXPECT_EQ(FakeEvents(), (std::vector<std::string>{"1 power-off daily at 10:01 (" + Dir.Path("PowerOFF.txt") + ")",
                                                      refused, refused}));
    EXPECT_EQ(Log(), "8 600 UP\r\n9 601 DOWN    \r\n");
    EXPECT_EQ(FakeShutdownRequests(), 0);
}

TEST_F(ServiceMainTest, TickThatBeganBeforeAStopStillWritesPdown)
{
    WriteWholeFile(Dir.Path("PowerOFF.txt"), "10 0");
    FakeScheduleControl(10 * Second, SERVICE_CONTROL_STOP);
    Run(8, 10, 0);
    EXPECT_EQ(Log(), "8 600 UP\r\n8 600 PDOWN\r\n");
    EXPECT_EQ(FakeShutdownRequests(), 1);
    EXPECT_EQ(FakeSleepCount(), 1);
}

// A run whose UP line cannot be written at start gets it from the first
// heartbeat that can write, with the start's day and minute and in the start
// month's file, before its closing line; a stop before that writes nothing.
// The failure, and the write that works after it, are each reported once.
TEST_F(ServiceMainTest, UpLineThatStartUpCouldNotWriteComesWithALaterHeartbeat)
{
    std::string failed = "3 cannot write " + Dir.Path("2026_12.log") + ": Message " + std::to_string(EACCES) + ".";
    std::string written = "4 can write " + Dir.Path("2026_12.log") + " again";
    std::string started = "1 no scheduled power-off (no " + Dir.Path("PowerOFF.txt") + ")";
    const struct {
        const char* Name;
        uint64_t Writable;  // the moment the folder becomes writable
        std::string AfterFourthBeat;
        std::string Stopped;
        std::vector<std::string> Reports;
    } cases[] = {
        {"writable only after the stop", 130 * Second, "<missing>", "<missing>", {failed, started}},
        {"writable after the third heartbeat",
         100 * Second,
         "31 1439 UP\r\n1 1 CRASH\r\n",
         "31 1439 UP\r\n1 1 DOWN    \r\n",
         {failed, started, written}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        ResetService();
        ASSERT_EQ(chmod(Dir.Path().c_str(), 0500), 0);
        FakeAtMoment(c.Writable, [this] { chmod(Dir.Path().c_str(), 0700); });
        std::string afterFourthBeat;
        Snapshot(120 * Second + 1, &afterFourthBeat);
        FakeScheduleControl(125 * Second, SERVICE_CONTROL_STOP);
        {
            WithoutFileOverride asUser;
            Run(31, 23, 59, 30);
        }
        EXPECT_EQ(afterFourthBeat, c.AfterFourthBeat);
        EXPECT_EQ(Log(), c.Stopped);
        EXPECT_EQ(FakeEvents(), c.Reports);
        EXPECT_FALSE(FileExists(Dir.Path("2027_1.log")));
    }
}

class ServiceFailureTest : public ServiceMainTest {
protected:
    TempDir Cwd;
    InFolder Here{Cwd};
};

TEST_F(ServiceFailureTest, FailedRegistrationLogsTwiceAndHasNoHeartbeat)
{
    FakeFail.Registration = true;
    Run(8, 10, 0);
    EXPECT_EQ(ReadWholeFile(Cwd.Path("Err.log")), "Error: RegisterServiceCtrlHandler Message 1083.\r\r\n");
    EXPECT_EQ(ReadWholeFile(Dir.Path("Err.log")), "Error: SetServiceStatus Message 6.\r\r\n");
    EXPECT_EQ(Log(), "8 600 UP\r\n8 600 CRASH\r\n" + Apdown(8, "3660"));
    EXPECT_EQ(FakeSleepCount(), 0);
    EXPECT_TRUE(FakeStatusReports().empty());
}

TEST_F(ServiceFailureTest, FailedRunningReportHasNoHeartbeatUntilAStopCloses)
{
    FakeFail.StatusReport = true;
    Run(8, 10, 0);
    EXPECT_FALSE(FileExists(Cwd.Path("Err.log")));
    EXPECT_EQ(ReadWholeFile(Dir.Path("Err.log")), "Error: SetServiceStatus Message 6.\r\r\n");
    EXPECT_EQ(Log(), "8 600 UP\r\n8 600 CRASH\r\n" + Apdown(8, "3660"));
    EXPECT_EQ(FakeSleepCount(), 0);

    ServiceCtrlHandler(SERVICE_CONTROL_STOP);
    EXPECT_EQ(Log(), "8 600 UP\r\n8 600 DOWN    \r\n");
    EXPECT_EQ(ReadWholeFile(Dir.Path("Err.log")),
              "Error: SetServiceStatus Message 6.\r\r\nError: SetServiceStatus Message 6.\r\r\n");
}

// Stops race heartbeats on real threads: whenever a stop has been handled,
// the run's closing line is its DOWN line, never a CRASH line written after it.
TEST(ServiceRace, NoCrashLineEverFollowsADownLine)
{
    ResetService();
    // In memory, so that the flushes cost nothing.
    TempDir dir(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
    std::string log = dir.Path("2026_12.log");
    std::mt19937 random(12345);
    const int runs = 2000;
    for (int run = 0; run < runs; run++) {
        ResetService();
        FakeSetModulePath(dir.Path("verdimoor").c_str());
        FakeSetLocalTime(2026, 12, 8, 10, 0);
        FakeSetRealSleep(random() % 20);
        std::thread service(ServiceMain, 0, nullptr);
        while (FakeStatusReports().empty())
            std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 400));
        ServiceCtrlHandler(SERVICE_CONTROL_STOP);
        std::string afterStop = ReadWholeFile(log);
        service.join();
        std::string afterRun = ReadWholeFile(log);
        EXPECT_EQ(afterRun, afterStop) << "run " << run;
        size_t last = afterRun.rfind("\r\n", afterRun.size() - 3);
        ASSERT_NE(last, std::string::npos);
        ASSERT_EQ(afterRun.compare(afterRun.size() - 10, 10, "DOWN    \r\n"), 0)
            << "run " << run << " ends with " << afterRun.substr(last + 2);
    }
    ResetService();
}

}  // namespace
