// SPDX-License-Identifier: Apache-2.0
// Start-up: the program's folder, the file names and the three start records.
#include <sys/stat.h>

#include "helpers.h"
#include "service/service.h"
#include "service_reset.h"
#include "tests/fake/fake.h"
#include "uptime/errlog.h"
#include "uptime/log.h"
#include "uptime/schedule.h"

namespace {

class StartupTest : public ServiceTest {
protected:
    TempDir Dir;
    void StartAt(int year, int month, int day, int hour, int minute, const std::string& dir)
    {
        FakeSetModulePath((dir + "up.exe").c_str());
        FakeSetLocalTime(year, month, day, hour, minute);
        ServiceInitialization();
    }
};

// The start lines, and what the service says of the schedule it read: "P"
// stands for the path of PowerOFF.txt, once in each text.
TEST_F(StartupTest, WritesTheStartRecordsAndSaysTheSchedule)
{
    struct {
        const char* Name;
        const char* Schedule;  // nullptr for none, "/" for a folder in its place
        const char* Announced;
        std::vector<std::string> Said;
    } const cases[] = {
        {"no PowerOFF.txt", nullptr, "3660", {"1 no scheduled power-off (no P)"}},
        {"PowerOFF.txt holding 22 30", "22 30", "1350", {"1 power-off daily at 22:30 (P)"}},
        {"H:MM", "9:05\r\n", "545", {"1 power-off daily at 09:05 (P)"}},
        {"never due", "24 0", "1440", {"1 no scheduled power-off: P reads as 24:00"}},
        {"empty", "", "0", {"1 power-off daily at 00:00 (P)", "2 P is empty, read as 00:00"}},
        {"a word", "none", "0", {"1 power-off daily at 00:00 (P)", "2 P begins with \"none\", read as 00:00"}},
        {"octal", "08 30", "8", {"1 power-off daily at 00:08 (P)", "2 P has \"30\" after the time, read as 00:08"}},
        {"full-width digits",
         "\uFF12\uFF12:\uFF13\uFF10",
         "0",
         {"1 power-off daily at 00:00 (P)", "2 P begins with \"??:??\", read as 00:00"}},
        {"never due with more",
         "-1 5 x",
         "-55",
         {"1 no scheduled power-off: P reads as -1:05", "2 P has \"x\" after the time, read as -1:05"}},
        {"a folder",
         "/",
         "3660",
         {"1 no scheduled power-off (cannot read P: Message " + std::to_string(EISDIR) + ".)"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        ResetService();
        std::string schedule = dir.Path("PowerOFF.txt");
        if (c.Schedule != nullptr && std::string(c.Schedule) == "/")
            ASSERT_EQ(mkdir(schedule.c_str(), 0700), 0);
        else if (c.Schedule != nullptr)
            WriteWholeFile(schedule, c.Schedule);
        StartAt(2011, 3, 14, 8, 5, dir.Path());

        EXPECT_EQ(ReadWholeFile(dir.Path("2011_3.log")),
                  "14 485 UP\r\n14 485 CRASH\r\n14 " + std::string(c.Announced) + " " + schedule + " APDOWN\r\n");
        EXPECT_EQ(RecordOffset, 11);
        EXPECT_EQ(std::string(ErrLogPath), dir.Path("Err.log"));
        EXPECT_EQ(std::string(ProgramDir), dir.Path());
        std::vector<std::string> said;
        for (std::string text : c.Said)
            said.push_back(text.replace(text.find('P'), 1, schedule));
        EXPECT_EQ(FakeEvents(), said);
    }
}

TEST_F(StartupTest, StartAtMidnightAndASecondStartAppends)
{
    StartAt(2026, 12, 1, 0, 0, Dir.Path());
    WriteDownRecord();
    std::string first = "1 0 UP\r\n1 0 DOWN    \r\n";
    EXPECT_EQ(ReadWholeFile(Dir.Path("2026_12.log")), first);

    StartAt(2026, 12, 1, 0, 1, Dir.Path());
    EXPECT_EQ(RecordOffset, static_cast<int32_t>(first.size() + 8));
    EXPECT_EQ(ReadWholeFile(Dir.Path("2026_12.log")),
              first + "1 1 UP\r\n1 1 CRASH\r\n1 3660 " + Dir.Path("PowerOFF.txt") + " APDOWN\r\n");
}

TEST_F(StartupTest, PercentSignsAndCharactersBeyondAsciiInTheFolderReachTheLogUnchanged)
{
    std::string dir = Dir.Path("100%s %i%n \u00DCberwachung \u65E5\u672C");
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    StartAt(2011, 3, 14, 8, 5, dir + "/");
    EXPECT_EQ(ReadWholeFile(dir + "/2011_3.log"),
              "14 485 UP\r\n14 485 CRASH\r\n14 3660 " + dir + "/PowerOFF.txt APDOWN\r\n");
}

TEST_F(StartupTest, RunIntoTheNextMonthKeepsItsFile)
{
    StartAt(2011, 5, 31, 23, 59, Dir.Path());
    Sleep(90000);
    WriteDownRecord();
    EXPECT_EQ(ReadWholeFile(Dir.Path("2011_5.log")), "31 1439 UP\r\n1 0 DOWN    \r\n");
    EXPECT_FALSE(FileExists(Dir.Path("2011_6.log")));
}

TEST_F(StartupTest, ReadOnlyFolderStartsWithoutRecords)
{
    ASSERT_EQ(chmod(Dir.Path().c_str(), 0500), 0);
    {
        WithoutFileOverride asUser;
        StartAt(2011, 3, 14, 8, 5, Dir.Path());
        WriteDownRecord();
    }
    EXPECT_EQ(RecordOffset, -1);
    EXPECT_FALSE(FileExists(Dir.Path("2011_3.log")));
    EXPECT_EQ(PowerOffHour, 60);
}

// A folder whose own path, with the separator, is length characters long.
std::string DeepFolder(const TempDir& base, size_t length)
{
    std::string dir = base.Path();
    dir.pop_back();
    while (dir.size() + 1 < length) {
        size_t part = std::min<size_t>(200, length - dir.size() - 1);
        if (length - dir.size() - 1 - part == 1)
            part--;
        dir += '/';
        dir.append(part - 1, 'd');
        dir.back() = 'e';
        if (mkdir(dir.c_str(), 0700) != 0)
            return "";
    }
    return dir + "/";
}

TEST_F(StartupTest, LongFolderWritesWholeNamesOrNone)
{
    // Room for "2011_3.log" but not for "PowerOFF.txt": the run is recorded,
    // the schedule file is not looked for and not announced.
    std::string dir = DeepFolder(Dir, MAX_PATH - 12);
    ASSERT_EQ(dir.size(), MAX_PATH - 12u);
    StartAt(2011, 3, 14, 8, 5, dir);
    EXPECT_EQ(ReadWholeFile(dir + "2011_3.log"), "14 485 UP\r\n14 485 CRASH\r\n");
    EXPECT_EQ(std::string(ErrLogPath), dir + "Err.log");
    EXPECT_EQ(PowerOffPath[0], '\0');
    EXPECT_EQ(PowerOffHour, 60);
    EXPECT_EQ(FakeEvents(), std::vector<std::string>{"1 no scheduled power-off: the path of PowerOFF.txt is too long"});

    // Room for every name: the APDOWN line carries the whole long path.
    TempDir other;
    ResetService();
    dir = DeepFolder(other, MAX_PATH - 13);
    StartAt(2011, 3, 14, 8, 5, dir);
    EXPECT_EQ(ReadWholeFile(dir + "2011_3.log"),
              "14 485 UP\r\n14 485 CRASH\r\n14 3660 " + dir + "PowerOFF.txt APDOWN\r\n");
}

TEST_F(StartupTest, ExecutablePathCutShortIsNotUsed)
{
    std::string path(MAX_PATH + 10, 'p');
    path[0] = '/';
    path[MAX_PATH - 20] = '/';
    FakeSetModulePath(path.c_str());
    FakeSetLocalTime(2011, 3, 14, 8, 5);
    ServiceInitialization();
    EXPECT_EQ(ProgramDir[0], '\0');
    EXPECT_EQ(LogPath[0], '\0');
    EXPECT_EQ(RecordOffset, -1);
    EXPECT_EQ(std::string(ErrLogPath), "Err.log");
}

}  // namespace
