// SPDX-License-Identifier: Apache-2.0
// The days of a period as the fleet's page shows them: which days a run was
// on, for how long, and what each day's scheduled power-off saw.
#include <sstream>

#include "report/core/days.h"
#include "report/core/text-forms.h"
#include "tests/helpers.h"

namespace {

using report::RunEnd;

struct RunOf {
    const char* Start;
    const char* End;
    RunEnd Ended;
};

struct DaysCase {
    const char* Name;
    std::optional<int> Schedule;
    const char* Now;
    std::vector<RunOf> Runs;
    const char* Expected;                          // each day of 2026-11-01 to 2026-11-03: its state and minutes on
    const char* FirstLogged = "2026-10-01T00:00";  // nullptr: no record at all
    const char* JudgedFrom = nullptr;              // when PowerOFF.txt was written; the runs before are not judged
};

const DaysCase Cases[] = {
    {"a run to midnight is not on the next day",
     {},
     "2026-11-10T00:00",
     {{"2026-11-02T12:00", "2026-11-03T00:00", RunEnd::Down}},
     "off 0, on 720, off 0"},
    {"a run to the period's end",
     {},
     "2026-11-10T00:00",
     {{"2026-11-03T20:00", "2026-11-04T00:00", RunEnd::Down}},
     "off 0, off 0, on 240"},
    {"a run from before the period",
     {},
     "2026-11-10T00:00",
     {{"2026-10-31T22:00", "2026-11-01T02:00", RunEnd::Down}},
     "on 120, off 0, off 0"},
    {"a run of no minutes",
     {},
     "2026-11-10T00:00",
     {{"2026-11-02T10:00", "2026-11-02T10:00", RunEnd::Unknown}},
     "off 0, on 0, off 0"},
    {"runs outside the period",
     1350,
     "2026-11-10T00:00",
     {{"2026-10-30T10:00", "2026-10-31T10:00", RunEnd::Crash},
      {"2026-10-31T20:00", "2026-11-01T00:00", RunEnd::Down},
      {"2026-11-04T00:00", "2026-11-04T01:00", RunEnd::Crash}},
     "off 0, off 0, off 0"},
    {"off on schedule, missed, crashed",
     1350,
     "2026-11-10T00:00",
     {{"2026-11-01T08:00", "2026-11-01T22:30", RunEnd::Pdown},
      {"2026-11-02T08:00", "2026-11-03T01:00", RunEnd::Down},
      {"2026-11-03T10:00", "2026-11-03T12:00", RunEnd::Crash}},
     "off-on-schedule 870, missed 960, crashed 180"},
    {"a missed run across the whole period",
     1350,
     "2026-11-10T00:00",
     {{"2026-10-20T08:00", "2026-11-20T08:00", RunEnd::Down}},
     "missed 1440, missed 1440, missed 1440"},
    {"the scheduled minute not yet 2 minutes past",
     1350,
     "2026-11-03T22:31",
     {{"2026-11-03T08:00", "2026-11-03T22:31", RunEnd::Running}},
     "off 0, off 0, on 871"},
    {"the scheduled minute 2 minutes past",
     1350,
     "2026-11-03T22:32",
     {{"2026-11-03T08:00", "2026-11-03T22:31", RunEnd::Down}},
     "off 0, off 0, off-on-schedule 871"},
    {"before the first record, and after now",
     {},
     "2026-11-02T12:00",
     {{"2026-11-02T08:00", "2026-11-02T10:00", RunEnd::Down}},
     "no-data 0, on 120, no-data 0",
     "2026-11-02T08:00"},
    {"no record at all", {}, "2026-11-10T00:00", {}, "no-data 0, no-data 0, no-data 0", nullptr},
    {"a run before the first record found",
     {},
     "2026-11-10T00:00",
     {{"2026-11-01T08:00", "2026-11-01T09:00", RunEnd::Down}},
     "on 60, off 0, off 0",
     "2026-11-03T08:00"},
    {"a schedule written on the second day at noon: neither off on schedule nor missed before it",
     1350,
     "2026-11-10T00:00",
     {{"2026-11-01T08:00", "2026-11-01T22:30", RunEnd::Down},
      {"2026-11-02T08:00", "2026-11-03T01:00", RunEnd::Down},
      {"2026-11-03T10:00", "2026-11-03T22:31", RunEnd::Down}},
     "on 870, on 960, off-on-schedule 811",
     "2026-10-01T00:00",
     "2026-11-02T12:00"},
};

const char* StateName(report::DayState state)
{
    switch (state) {
    case report::DayState::NoData: return "no-data";
    case report::DayState::OffAllDay: return "off";
    case report::DayState::OffOnSchedule: return "off-on-schedule";
    case report::DayState::Missed: return "missed";
    case report::DayState::Crashed: return "crashed";
    case report::DayState::On: return "on";
    }
    return "";
}

TEST(DaysOf, EachDayOfThePeriod)
{
    const report::LocalDay first = *report::ParseDay("2026-11-01");
    const report::LocalDay last = *report::ParseDay("2026-11-03");
    InZone utc("UTC");
    report::LocalZone zone;
    for (const DaysCase& c : Cases) {
        SCOPED_TRACE(c.Name);
        report::PowerOffSchedule schedule{c.Schedule.has_value(), c.Schedule};
        if (c.JudgedFrom != nullptr)
            schedule.JudgedFrom = zone.MomentOf(*report::ParseMoment(c.JudgedFrom));
        std::vector<report::Run> runs;
        for (const RunOf& of : c.Runs) {
            report::Run& run = runs.emplace_back();
            run.Start = zone.MomentOf(*report::ParseMoment(of.Start));
            run.End = zone.MomentOf(*report::ParseMoment(of.End));
            run.Ended = of.Ended;
            run.Judged = !schedule.JudgedFrom || run.Start.Instant >= schedule.JudgedFrom->Instant;
            if (c.Schedule && run.Judged) {
                report::PowerOffAnswer answer =
                    report::AnswerPowerOff(*c.Schedule, run.Start, run.End, run.Ended, zone);
                run.Missed = answer.Missed;
                run.MinutesPastSchedule = answer.MinutesPast;
            }
        }
        std::vector<report::Day> days =
            report::DaysOf(runs, schedule, first, last, *report::ParseMoment(c.Now),
                           c.FirstLogged ? report::ParseMoment(c.FirstLogged) : std::nullopt);
        std::ostringstream shown;
        for (const report::Day& day : days)
            shown << (day.Date == first ? "" : ", ") << StateName(day.State) << ' ' << day.MinutesOn;
        EXPECT_EQ(shown.str(), c.Expected);
    }
}

}  // namespace
