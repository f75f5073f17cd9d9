// SPDX-License-Identifier: Apache-2.0
// What verdimoor-report makes of a machine's logs: its runs, how each ended,
// and the summary of them. Every output is a printer over this one model,
// which knows nothing of reading the logs or of printing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "report/core/calendar.h"

namespace report {

// How a run ended.
enum class RunEnd {
    Down,     // DOWN: an orderly stop or shutdown
    Pdown,    // PDOWN: the scheduled power-off was requested
    Crash,    // CRASH: the machine or the service died; the end is its last sign of life
    Unknown,  // no closing record; the run counts 0 minutes
    Running,  // the newest run, whose CRASH moment is no more than --running-within before now
};
// Tables indexed by the ending hold this many entries.
inline constexpr int RunEndCount = 5;

// The run's end as the outputs spell it: "down", "pdown", "crash", "unknown", "running".
std::string_view EndName(RunEnd ended);

// "up" while the newest run is running, else "down"; none without runs.
struct Summary;
std::optional<std::string_view> StateName(const Summary& totals);

// The daily power-off the runs are held against, from --schedule or from the
// folder's PowerOFF.txt read as the service reads it.
struct PowerOffSchedule {
    bool Known = false;         // a schedule to answer for, if only "none": without one the outputs are as before
    std::optional<int> Minute;  // the minute of the day; none when nothing is ever due
    // From when the runs are held against it. The service reads PowerOFF.txt
    // when it starts, so the file's schedule holds for the runs that start in
    // the minute the file was last written or later: the runs before are not
    // judged, neither a power-off nor a missed one. None for --schedule's,
    // which judges every run.
    std::optional<Moment> JudgedFrom = std::nullopt;
};

// What a run says of the daily power-off. The shutdown that follows a
// scheduled power-off writes DOWN over PDOWN, so a DOWN ending in the
// scheduled minute or the one after it was that power-off. A run misses a
// day's scheduled moment when it started before it and ended 2 minutes or more
// after it; the minutes past the schedule count from the first one missed.
struct PowerOffAnswer {
    bool OnSchedule = false;
    int64_t Missed = 0;
    int64_t MinutesPast = 0;
};
PowerOffAnswer AnswerPowerOff(int scheduledMinute, const Moment& start, const Moment& end, RunEnd ended,
                              LocalZone& zone);

// The first scheduled moment after a run's start: the first it may miss.
LocalMinute FirstScheduledAfter(int scheduledMinute, LocalMinute start);

// What the machine did at the newest scheduled moment M that is 2 minutes or
// more before now: a run ended pdown in M or the minute after it
// (OnSchedule), a run started before M was still up at M + 2 minutes
// (Missed), or neither (Off); None without a schedule or without runs, or
// when M is not judged: before the schedule's JudgedFrom, or a run that is
// not judged was up at M.
enum class LastPowerOff { None, OnSchedule, Missed, Off };
// "none", "on-schedule", "missed", "off", as every output spells it.
std::string_view LastPowerOffName(LastPowerOff answer);

// The days a report covers. A machine's period runs from Since's first
// minute, but never before its first run's start, to the end of Until's day,
// but never after now; without them, from its first run's start to now. The
// runs that overlap the period are its runs, and only their parts inside it
// are summed.
struct Selection {
    std::optional<LocalDay> Since;
    std::optional<LocalDay> Until;
};

// What a day's scheduled moment saw of a machine, on the fleet's page.
enum class DayState {
    NoData,  // before the machine's first record, or after now
    OffAllDay,
    OffOnSchedule,  // on that day, off by its scheduled moment
    Missed,         // on past the scheduled moment
    Crashed,        // a run crashed that day
    On,             // on that day, with no scheduled moment passed
};

struct Day {
    LocalDay Date;
    DayState State = DayState::OffAllDay;
    int64_t MinutesOn = 0;
};

struct Run {
    Moment Start;
    Moment End;           // Start for a run whose end is unknown
    int64_t Minutes = 0;  // End - Start, the minutes that passed
    RunEnd Ended = RunEnd::Unknown;
    std::string File;                 // the log's file name, e.g. "2026_12.log"
    uint64_t Line = 0;                // the run's UP line, counted from 1
    int64_t DowntimeBefore = 0;       // Start - the previous selected run's End, 0 when negative or first
    int64_t Missed = 0;               // scheduled power-offs it stayed on through
    int64_t MinutesPastSchedule = 0;  // End - the first one it missed
    bool Judged = true;               // held against the schedule: it started after it took effect
};

// A damaged or out-of-place line, skipped with this note.
struct Warning {
    std::string File;
    uint64_t Line = 0;
    std::string Problem;
};

struct Summary {
    int64_t Runs = 0;
    int64_t Down = 0;
    int64_t Pdown = 0;
    int64_t Crash = 0;
    int64_t Unknown = 0;
    int64_t Running = 0;
    std::optional<Moment> FirstStart;  // none without runs
    std::optional<Moment> LastStart;
    std::optional<Moment> LastEnd;       // the last sign of life
    std::optional<Moment> LastCrashEnd;  // the latest end of a crashed run
    std::optional<Moment> LastPdownEnd;  // the latest scheduled power-off
    // The period, none without runs; it may hold no time at all.
    std::optional<Moment> PeriodStart;
    std::optional<Moment> PeriodEnd;
    int64_t UptimeMinutes = 0;           // the runs' minutes inside the period, a running run's up to now
    int64_t UnseenMinutes = 0;           // of them, those of a running run after its last sign of life
    int64_t DowntimeMinutes = 0;         // the period's minutes outside the runs
    std::optional<double> Availability;  // uptime / (uptime + downtime): over the period; none when both are 0
    int64_t LongestRunMinutes = 0;
    std::optional<Moment> LongestRunStart;
    int64_t LongestDowntimeMinutes = 0;
    std::optional<Moment> LongestDowntimeStart;  // the end of the run before it, or the period's start
    int64_t PoweroffsMissed = 0;                 // the runs' Missed, summed
    int64_t MinutesPastSchedule = 0;
    LastPowerOff LastPowerOffAnswer = LastPowerOff::None;
    int64_t Warnings = 0;
    // Now, whatever the period: how the newest run of all ended (Running
    // while it is up), none without runs; and since when the machine has
    // been up (the running run's start) or down (the newest run's end),
    // none when that end is unknown, with the minutes from then to now.
    std::optional<RunEnd> NewestEnded;
    std::optional<Moment> NewestStart;
    std::optional<Moment> StateSince;
    int64_t StateMinutes = 0;
    // The schedule's JudgedFrom, when a run summed up started before it and
    // was not judged: the outputs say from when the schedule holds.
    std::optional<Moment> ScheduleJudgedFrom;
};

// One folder of logs: one machine.
struct MachineReport {
    std::string Folder;
    std::string Name;     // the machine's name, which the program gives it
    std::string Problem;  // why its folder cannot be read, for a fleet; empty when it was
    PowerOffSchedule Schedule;
    Summary Totals;
    std::vector<Run> Runs;  // kept only when an output needs the runs
    std::vector<Warning> Warnings;
    std::vector<Day> Days;  // for the fleet's page only
    // Why a log, or the folder's PowerOFF.txt, could not be read, the first
    // one: "2026_12.log: cannot be opened: Permission denied"; empty when
    // every file was read whole.
    std::string Incomplete;
    // The first moment its logs tell of, the start of its first run whatever
    // the selection, before which the picture and the pages draw no data;
    // none without a run.
    std::optional<LocalMinute> FirstLogged;
};

}  // namespace report
