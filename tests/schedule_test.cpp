// SPDX-License-Identifier: Apache-2.0
// Reading PowerOFF.txt and deciding when the power-off is due.
#include <climits>

#include "helpers.h"
#include "schedule_cases.h"
#include "service_reset.h"
#include "uptime/schedule.h"

namespace {

class ScheduleTest : public ServiceTest {
protected:
    TempDir Dir;
    void UseFile(const std::string& content)
    {
        snprintf(PowerOffPath, sizeof PowerOffPath, "%s", Dir.Path("PowerOFF.txt").c_str());
        WriteWholeFile(PowerOffPath, content);
    }
};

TEST_F(ScheduleTest, ReadsTheTimeAndWhatElseTheTextHolds)
{
    for (const ScheduleCase& c : ScheduleCases) {
        SCOPED_TRACE(c.Name);
        UseFile(c.Content);
        PowerOffHour = 99;
        PowerOffMinute = 99;
        PowerOffReading = ScheduleReading{};
        LoadPowerOffSchedule();
        EXPECT_EQ(PowerOffHour, c.Hour);
        EXPECT_EQ(PowerOffMinute, c.Minute);
        EXPECT_EQ(ScheduledMinute(), c.Announced);
        EXPECT_TRUE(PowerOffReading.Opened);
        EXPECT_EQ(PowerOffReading.Text, c.Text);
        EXPECT_STREQ(PowerOffReading.Word, c.Word);
    }
}

TEST_F(ScheduleTest, NoFileMeansNeverDue)
{
    snprintf(PowerOffPath, sizeof PowerOffPath, "%s", Dir.Path("PowerOFF.txt").c_str());
    LoadPowerOffSchedule();
    EXPECT_EQ(PowerOffHour, 60);
    EXPECT_EQ(PowerOffMinute, 60);
    EXPECT_EQ(ScheduledMinute(), 3660);
    EXPECT_FALSE(PowerOffReading.Opened);
    EXPECT_EQ(PowerOffReading.OpenError, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    // A folder in the file's place cannot be read as the schedule either.
    ASSERT_EQ(mkdir(PowerOffPath, 0700), 0);
    PowerOffHour = 0;
    LoadPowerOffSchedule();
    EXPECT_EQ(PowerOffHour, 60);
    EXPECT_EQ(PowerOffReading.OpenError, static_cast<DWORD>(EISDIR));
}

TEST_F(ScheduleTest, NumbersLongerThanOneReadBuffer)
{
    UseFile(std::string(3000, ' ') + "21" + std::string(3000, '\n') + "000000000000000000000000000000045");
    LoadPowerOffSchedule();
    EXPECT_EQ(PowerOffHour, 21);
    EXPECT_EQ(PowerOffMinute, 37);

    // In UTF-16 a character may straddle two reads.
    UseFile(Utf16(std::u16string(3001, u' ') + u"21:" + std::u16string(3000, u'\n') + u"045", true));
    LoadPowerOffSchedule();
    EXPECT_EQ(PowerOffHour, 21);
    EXPECT_EQ(PowerOffMinute, 45);
}

TEST_F(ScheduleTest, DueOnlyInTheExactMinute)
{
    struct {
        int32_t Hour, Minute;
        int NowHour, NowMinute;
        bool Due;
    } const cases[] = {
        {22, 30, 22, 30, true},  {22, 30, 22, 31, false}, {22, 30, 21, 30, false}, {0, 0, 0, 0, true},
        {60, 60, 23, 59, false}, {24, 0, 0, 0, false},    {7, 60, 8, 0, false},    {-1, 5, 23, 5, false},
    };
    for (const auto& c : cases) {
        PowerOffHour = c.Hour;
        PowerOffMinute = c.Minute;
        EXPECT_EQ(PowerOffDue(c.NowHour, c.NowMinute), c.Due) << c.Hour << ":" << c.Minute;
    }
}

}  // namespace
