// SPDX-License-Identifier: Apache-2.0
// verdimoor-report's reading: folders of logs, written here, and the whole
// JSON each one gives; the same bytes in any pieces.
#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "report/core/text-forms.h"
#include "report/print/print.h"
#include "report/program/folder-schedule.h"
#include "report/read/line-framer.h"
#include "report/read/machine-folder.h"
#include "report/read/run-pairer.h"
#include "report/read/run-totals.h"
#include "tests/helpers.h"

namespace {

using Json = nlohmann::ordered_json;
using Files = std::vector<std::pair<std::string, std::string>>;

struct Case {
    const char* Name;
    Files Logs;
    std::string Since, Until, Now;
    const char* Expected;  // the whole JSON, for a folder shown as "logs"
};

const std::string Nul(1, '\0');

// A folder read as the program reads it.
report::MachineReport ReadFolder(const std::string& folder, const report::ReadOptions& options)
{
    return report::ReadMachine(folder, report::ListLogs(folder), options);
}

// A machine's logs fed as bytes, in pieces of the given size, as the folder
// reader feeds them.
class FedLogs {
public:
    explicit FedLogs(const report::ReadOptions& options) : Warnings(options), Totals(options, Warnings) {}
    void Log(const report::LogFile& file, const std::string& bytes, size_t piece)
    {
        Runs.BeginLog(file);
        Lines.BeginFile();
        for (size_t at = 0; at < bytes.size(); at += piece)
            Lines.Feed(bytes.data() + at, std::min(piece, bytes.size() - at));
        Lines.EndFile();
        Runs.EndLog();
    }
    report::MachineReport Finish()
    {
        report::MachineReport machine = Totals.Finish();
        machine.Folder = "logs";
        return machine;
    }

private:
    report::LogWarnings Warnings;
    report::RunTotals Totals;
    report::RunPairer Runs{Totals, Warnings};
    report::LineFramer Lines{Runs};
};

const Case Cases[] = {
    {"a month's pairs",
     {{"2026_3.log", "8 600 UP\r\n8 1020 DOWN    \r\n9 540 UP\r\n9 1231 CRASH\r\n10 480 UP\r\n10 1320 PDOWN\r\n"}},
     "",
     "",
     "2026-04-01T00:00",
     R"j({"machines": [{"folder": "logs", "summary": {"runs": 3, "down": 1, "pdown": 1, "crash": 1, "unknown": 0,
       "running": 0, "first_start": "2026-03-08T10:00", "last_end": "2026-03-10T22:00", "uptime_minutes": 1951,
       "downtime_minutes": 32009, "availability": 0.057449941107184925, "longest_run_minutes": 840,
       "longest_downtime_minutes": 30360, "warnings": 0,
       "state": "down", "state_since": "2026-03-10T22:00", "newest_run_ended": "pdown"},
      "runs": [
       {"start": "2026-03-08T10:00", "end": "2026-03-08T17:00", "minutes": 420, "ended": "down", "file": "2026_3.log", "line": 1},
       {"start": "2026-03-09T09:00", "end": "2026-03-09T20:31", "minutes": 691, "ended": "crash", "file": "2026_3.log", "line": 3},
       {"start": "2026-03-10T08:00", "end": "2026-03-10T22:00", "minutes": 840, "ended": "pdown", "file": "2026_3.log", "line": 5}],
      "warnings": []}]})j"},

    // The closing moment moves to the next month that has its day.
    {"runs across a month's end",
     {{"2026_5.log", "31 1000 UP\r\n1 0 DOWN    \r\n"},
      {"2025_12.log", "31 1430 UP\r\n1 5 CRASH\r\n"},
      {"2026_1.log", "31 600 UP\r\n30 600 DOWN    \r\n"}},
     "",
     "",
     "2026-07-01T00:00",
     R"j({"machines": [{"folder": "logs", "summary": {"runs": 3, "down": 2, "pdown": 0, "crash": 1, "unknown": 0,
       "running": 0, "first_start": "2025-12-31T23:50", "last_end": "2026-06-01T00:00", "uptime_minutes": 83975,
       "downtime_minutes": 176675, "availability": 0.32217533090351047, "longest_run_minutes": 83520,
       "longest_downtime_minutes": 89680, "warnings": 0,
       "state": "down", "state_since": "2026-06-01T00:00", "newest_run_ended": "down"},
      "runs": [
       {"start": "2025-12-31T23:50", "end": "2026-01-01T00:05", "minutes": 15, "ended": "crash", "file": "2025_12.log", "line": 1},
       {"start": "2026-01-31T10:00", "end": "2026-03-30T10:00", "minutes": 83520, "ended": "down", "file": "2026_1.log", "line": 1},
       {"start": "2026-05-31T16:40", "end": "2026-06-01T00:00", "minutes": 440, "ended": "down", "file": "2026_5.log", "line": 1}],
      "warnings": []}]})j"},

    // A closing record closes only a run of its own file.
    {"runs with no closing record",
     {{"2026_4.log", "1 60 UP\r\n2 60 UP\r\n2 120 DOWN    \r\n3 60 UP\r\n"},
      {"2026_5.log", "1 30 CRASH\r\n1 60 UP\r\n1 90 DOWN    \r\n"}},
     "",
     "",
     "2026-05-01T01:31",
     R"j({"machines": [{"folder": "logs", "summary": {"runs": 4, "down": 2, "pdown": 0, "crash": 0, "unknown": 2,
       "running": 0, "first_start": "2026-04-01T01:00", "last_end": "2026-05-01T01:30", "uptime_minutes": 90,
       "downtime_minutes": 43141, "availability": 0.00208183942078601, "longest_run_minutes": 60,
       "longest_downtime_minutes": 40320, "warnings": 1,
       "state": "down", "state_since": "2026-05-01T01:30", "newest_run_ended": "down"},
      "runs": [
       {"start": "2026-04-01T01:00", "end": "2026-04-01T01:00", "minutes": 0, "ended": "unknown", "file": "2026_4.log", "line": 1},
       {"start": "2026-04-02T01:00", "end": "2026-04-02T02:00", "minutes": 60, "ended": "down", "file": "2026_4.log", "line": 2},
       {"start": "2026-04-03T01:00", "end": "2026-04-03T01:00", "minutes": 0, "ended": "unknown", "file": "2026_4.log", "line": 4},
       {"start": "2026-05-01T01:00", "end": "2026-05-01T01:30", "minutes": 30, "ended": "down", "file": "2026_5.log", "line": 2}],
      "warnings": [{"file": "2026_5.log", "line": 1, "problem": "CRASH line without a run to close"}]}]})j"},

    // A run that crashed before its first heartbeat keeps its announcement.
    {"leftover APDOWN lines",
     {{"2026_7.log", "5 600 UP\r\n5 630 CRASH\r\n5 3660 C:\\Program Files\\Verdimoor\\PowerOFF.txt APDOWN\r\n"
                     "6 600 UP\r\n6 600 CRASH\r\n6 -1 /opt/verdimoor/PowerOFF.txt APDOWN  \r\n"}},
     "",
     "",
     "2026-08-01T00:00",
     R"j({"machines": [{"folder": "logs", "summary": {"runs": 2, "down": 0, "pdown": 0, "crash": 2, "unknown": 0,
       "running": 0, "first_start": "2026-07-05T10:00", "last_end": "2026-07-06T10:00", "uptime_minutes": 30,
       "downtime_minutes": 38250, "availability": 0.0007836990595611285, "longest_run_minutes": 30,
       "longest_downtime_minutes": 36840, "warnings": 0,
       "state": "down", "state_since": "2026-07-06T10:00", "newest_run_ended": "crash"},
      "runs": [
       {"start": "2026-07-05T10:00", "end": "2026-07-05T10:30", "minutes": 30, "ended": "crash", "file": "2026_7.log", "line": 1},
       {"start": "2026-07-06T10:00", "end": "2026-07-06T10:00", "minutes": 0, "ended": "crash", "file": "2026_7.log", "line": 4}],
      "warnings": []}]})j"},

    // The service cuts a log back to a run's UP line and pads it with zeros
    // when the file was shortened behind its back. A line's zeros are one
    // warning; a blank line is one too, beside zeros none.
    {"damaged and blank lines and a zero-padded cut",
     {{"2026_8.log", "3 6" + std::string(20, '\0') + "4 800 DOWN    \r\nhello\r\n\r\n  \t \r\n4 1500 UP\r\n5 600 UP" +
                         Nul + Nul + Nul + "\r\n5 610 CRASH\r\n"},
      {"2026_2.log", "30 0 UP\n30 10 DOWN    \n"}},
     "",
     "",
     "2026-09-01T00:00",
     R"j({"machines": [{"folder": "logs", "summary": {"runs": 1, "down": 0, "pdown": 0, "crash": 1, "unknown": 0,
       "running": 0, "first_start": "2026-08-05T10:00", "last_end": "2026-08-05T10:10", "uptime_minutes": 10,
       "downtime_minutes": 38270, "availability": 0.00026123301985370953, "longest_run_minutes": 10,
       "longest_downtime_minutes": 38270, "warnings": 10,
       "state": "down", "state_since": "2026-08-05T10:10", "newest_run_ended": "crash"},
      "runs": [
       {"start": "2026-08-05T10:00", "end": "2026-08-05T10:10", "minutes": 10, "ended": "crash", "file": "2026_8.log", "line": 6}],
      "warnings": [
       {"file": "2026_2.log", "line": 1, "problem": "UP on day 30, which 2026-02 does not have"},
       {"file": "2026_2.log", "line": 2, "problem": "DOWN line without a run to close"},
       {"file": "2026_8.log", "line": 1, "problem": "damaged line"},
       {"file": "2026_8.log", "line": 1, "problem": "zero bytes"},
       {"file": "2026_8.log", "line": 1, "problem": "DOWN line without a run to close"},
       {"file": "2026_8.log", "line": 2, "problem": "damaged line"},
       {"file": "2026_8.log", "line": 3, "problem": "blank line"},
       {"file": "2026_8.log", "line": 4, "problem": "blank line"},
       {"file": "2026_8.log", "line": 5, "problem": "damaged line"},
       {"file": "2026_8.log", "line": 6, "problem": "zero bytes"}]}]})j"},

    // Runs of zeros of any length, passed over at once: a line of its own
    // before the record written after them, text on both sides, and the end
    // of a log cut in its padding. One warning a line.
    {"long runs of zeros",
     {{"2026_8.log", "1 0 UP\r\n" + std::string(300000, '\0') + "1 5 DOWN    \r\n2 0 UP" + std::string(64, '\0') + "x" +
                         std::string(63, '\0') + "\r\n2 7 CRASH\r\n" + std::string(4097, '\0')}},
     "",
     "",
     "2026-09-01T00:00",
     R"j({"machines": [{"folder": "logs", "summary": {"runs": 2, "down": 1, "pdown": 0, "crash": 1, "unknown": 0,
       "running": 0, "first_start": "2026-08-01T00:00", "last_end": "2026-08-02T00:07", "uptime_minutes": 12,
       "downtime_minutes": 44628, "availability": 0.00026881720430107527, "longest_run_minutes": 7,
       "longest_downtime_minutes": 43193, "warnings": 4,
       "state": "down", "state_since": "2026-08-02T00:07", "newest_run_ended": "crash"},
      "runs": [
       {"start": "2026-08-01T00:00", "end": "2026-08-01T00:05", "minutes": 5, "ended": "down", "file": "2026_8.log", "line": 1},
       {"start": "2026-08-02T00:00", "end": "2026-08-02T00:07", "minutes": 7, "ended": "crash", "file": "2026_8.log", "line": 3}],
      "warnings": [
       {"file": "2026_8.log", "line": 2, "problem": "zero bytes"},
       {"file": "2026_8.log", "line": 3, "problem": "zero bytes"},
       {"file": "2026_8.log", "line": 3, "problem": "damaged line"},
       {"file": "2026_8.log", "line": 5, "problem": "zero bytes"}]}]})j"},

    // The last day and minute a record may carry, and the first it may not.
    {"a record's bounds",
     {{"2026_1.log", "1 1439 UP\r\n1 1440 DOWN    \r\n2 0 DOWN    \r\n31 0 UP\r\n32 0 CRASH\r\n31 1439 CRASH\r\n"
                     "0 5 UP\r\n"}},
     "",
     "",
     "2026-03-01T00:00",
     R"j({"machines": [{"folder": "logs", "summary": {"runs": 2, "down": 1, "pdown": 0, "crash": 1, "unknown": 0,
       "running": 0, "first_start": "2026-01-01T23:59", "last_end": "2026-01-31T23:59", "uptime_minutes": 1440,
       "downtime_minutes": 82081, "availability": 0.01724117287867722, "longest_run_minutes": 1439,
       "longest_downtime_minutes": 41760, "warnings": 3,
       "state": "down", "state_since": "2026-01-31T23:59", "newest_run_ended": "crash"},
      "runs": [
       {"start": "2026-01-01T23:59", "end": "2026-01-02T00:00", "minutes": 1, "ended": "down", "file": "2026_1.log", "line": 1},
       {"start": "2026-01-31T00:00", "end": "2026-01-31T23:59", "minutes": 1439, "ended": "crash", "file": "2026_1.log", "line": 4}],
      "warnings": [
       {"file": "2026_1.log", "line": 2, "problem": "damaged line"},
       {"file": "2026_1.log", "line": 5, "problem": "damaged line"},
       {"file": "2026_1.log", "line": 7, "problem": "damaged line"}]}]})j"},

    {"a file with LF alone, its last line without one",
     {{"2026_9.log", "1 0 UP\n1 1439 DOWN    \n2 0 UP\n2 5 PDOWN"}},
     "",
     "",
     "2026-10-01T00:00",
     R"j({"machines": [{"folder": "logs", "summary": {"runs": 2, "down": 1, "pdown": 1, "crash": 0, "unknown": 0,
       "running": 0, "first_start": "2026-09-01T00:00", "last_end": "2026-09-02T00:05", "uptime_minutes": 1444,
       "downtime_minutes": 41756, "availability": 0.03342592592592593, "longest_run_minutes": 1439,
       "longest_downtime_minutes": 41755, "warnings": 0,
       "state": "down", "state_since": "2026-09-02T00:05", "newest_run_ended": "pdown"},
      "runs": [
       {"start": "2026-09-01T00:00", "end": "2026-09-01T23:59", "minutes": 1439, "ended": "down", "file": "2026_9.log", "line": 1},
       {"start": "2026-09-02T00:00", "end": "2026-09-02T00:05", "minutes": 5, "ended": "pdown", "file": "2026_9.log", "line": 3}],
      "warnings": []}]})j"},

    // The period is 3 to 10 November: the run on since 1 November counts from
    // the 3rd, the one on until the 11th up to its end, each listed whole;
    // the power-offs missed are those in the period. The newest run, after
    // it, tells the state now.
    {"a run on before --since and one on after --until",
     {{"PowerOFF.txt", "22 30\r\n"},
      {"2026_11.log", "1 480 UP\r\n5 600 DOWN    \r\n6 480 UP\r\n6 1000 DOWN    \r\n9 480 UP\r\n11 600 CRASH\r\n"
                      "12 480 UP\r\n12 500 DOWN    \r\n"}},
     "2026-11-03",
     "2026-11-10",
     "2026-12-01T00:00",
     R"j({"machines": [{"folder": "logs", "summary": {"runs": 3, "down": 2, "pdown": 0, "crash": 1, "unknown": 0,
       "running": 0, "first_start": "2026-11-01T08:00", "last_end": "2026-11-11T10:00", "uptime_minutes": 6400,
       "downtime_minutes": 5120, "availability": 0.5555555555555556, "longest_run_minutes": 5880,
       "longest_downtime_minutes": 3800, "schedule": "22:30", "poweroffs_missed": 4, "minutes_past_schedule": 3660,
       "last_poweroff": "off", "warnings": 0,
       "state": "down", "state_since": "2026-11-12T08:20", "newest_run_ended": "down"},
      "runs": [
       {"start": "2026-11-01T08:00", "end": "2026-11-05T10:00", "minutes": 5880, "ended": "down", "file": "2026_11.log", "line": 1, "missed": 4, "minutes_past_schedule": 5010},
       {"start": "2026-11-06T08:00", "end": "2026-11-06T16:40", "minutes": 520, "ended": "down", "file": "2026_11.log", "line": 3, "missed": 0, "minutes_past_schedule": 0},
       {"start": "2026-11-09T08:00", "end": "2026-11-11T10:00", "minutes": 3000, "ended": "crash", "file": "2026_11.log", "line": 5, "missed": 2, "minutes_past_schedule": 2130}],
      "warnings": []}]})j"},

    // Off since yesterday evening, and today the period: no runs, all of it
    // downtime.
    {"a machine off since a day before now",
     {{"2026_11.log", "29 480 UP\r\n29 1350 DOWN    \r\n"}},
     "2026-11-30",
     "",
     "2026-11-30T15:00",
     R"j({"machines": [{"folder": "logs", "summary": {"runs": 0, "down": 0, "pdown": 0, "crash": 0, "unknown": 0,
       "running": 0, "first_start": null, "last_end": null, "uptime_minutes": 0, "downtime_minutes": 900,
       "availability": 0.0, "longest_run_minutes": 0, "longest_downtime_minutes": 900, "warnings": 0,
       "state": "down", "state_since": "2026-11-29T22:30", "newest_run_ended": "down"},
      "runs": [],
      "warnings": []}]})j"},
};

// The newest run (in 2026_10.log, after 2026_9.log) crashed at 11:40: still
// running within 2 minutes, counted up to now, and when "now" is earlier, the
// part of it up to now.
const char* const NewestRunLogs[][2] = {{"2026_10.log", "20 600 UP\r\n20 700 CRASH\r\n"},
                                        {"2026_9.log", "1 0 UP\r\n1 10 CRASH\r\n"}};
const char* const NewestRunJson = R"j({"machines": [{"folder": "logs", "summary": {"runs": 2, "down": 0, "pdown": 0,
    "crash": CRASH, "unknown": 0, "running": RUNNING, "first_start": "2026-09-01T00:00", "last_end": "2026-10-20T11:40",
    "uptime_minutes": UPTIME, "longest_run_minutes": 100, "longest_downtime_minutes": 71150, "warnings": COUNT,
    "state": STATE, "state_since": SINCE, "newest_run_ended": "ENDED"},
   "runs": [
    {"start": "2026-09-01T00:00", "end": "2026-09-01T00:10", "minutes": 10, "ended": "crash", "file": "2026_9.log", "line": 1},
    {"start": "2026-10-20T10:00", "end": "2026-10-20T11:40", "minutes": 100, "ended": "ENDED", "file": "2026_10.log", "line": 1}],
   "warnings": [LIST]}]})j";

std::string Replace(std::string text, const std::string& what, const std::string& with)
{
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

// The JSON of one folder holding logs, shown as "logs": the power-off schedule
// is --schedule's when one is given, else the folder's PowerOFF.txt.
std::string ReportJson(const Files& logs, const std::string& since, const std::string& until, const std::string& now,
                       const std::string& schedule = "")
{
    TempDir dir;
    for (const auto& [name, bytes] : logs) {
        if (name.back() == '/')
            std::filesystem::create_directory(dir.Path(name));
        else if (name == "PowerOFF.txt")
            WriteScheduleFile(dir.Path(name), bytes);
        else
            // Dated after every line, at 2030-06-15 13:37 UTC, a day and
            // minute no line has, rather than now: a closing line of today's
            // day and minute would be taken as written then.
            WriteScheduleFile(dir.Path(name), bytes, 1907761020);
    }
    report::ReadOptions options;
    options.Selected.Since = report::ParseDay(since);
    options.Selected.Until = report::ParseDay(until);
    options.Now = *report::ParseMoment(now);
    options.KeepRuns = true;
    options.KeepWarnings = true;
    std::string problem;
    std::string note;
    options.Schedule = schedule.empty() ? report::ReadFolderSchedule(dir.Path(), problem, note)
                                        : *report::ParseScheduleOption(schedule);
    std::vector<report::MachineReport> machines{ReadFolder(dir.Path(), options)};
    machines[0].Folder = "logs";
    std::ostringstream out;
    report::PrintJson(out, machines);
    return out.str();
}

void ExpectJson(const std::string& actual, const std::string& expected)
{
    EXPECT_EQ(actual, Json::parse(expected).dump(2) + "\n");
}

TEST(Report, JsonOfEachFolder)
{
    for (const Case& c : Cases) {
        SCOPED_TRACE(c.Name);
        ExpectJson(ReportJson(c.Logs, c.Since, c.Until, c.Now), c.Expected);
    }
}

TEST(Report, NewestRunIsRunningWithinTwoMinutesOfNow)
{
    Files logs;
    for (const auto& log : NewestRunLogs)
        logs.push_back({log[0], log[1]});
    // A last sign of life after now is no sign of running, and a warning.
    struct {
        const char* Now;
        bool Running;
        const char* Warnings;
        const char* Uptime;  // and downtime and availability
    } const nows[] = {
        {"2026-10-20T11:42", true, "", R"j(112, "downtime_minutes": 71150, "availability": 0.0015716651230669922)j"},
        {"2026-10-20T11:43", false, "", R"j(110, "downtime_minutes": 71153, "availability": 0.001543578013836072)j"},
        {"2026-10-20T11:00", false,
         R"j({"file": "2026_10.log", "line": 2, "problem": "run ends after now (2026-10-20 11:00)"})j",
         R"j(70, "downtime_minutes": 71150, "availability": 0.0009828699803426004)j"}};
    for (const auto& now : nows) {
        SCOPED_TRACE(now.Now);
        std::string expected = Replace(NewestRunJson, "CRASH", now.Running ? "1" : "2");
        expected = Replace(expected, "RUNNING", now.Running ? "1" : "0");
        expected = Replace(expected, "ENDED", now.Running ? "running" : "crash");
        expected = Replace(expected, "COUNT", *now.Warnings ? "1" : "0");
        expected = Replace(expected, "LIST", now.Warnings);
        expected = Replace(expected, "UPTIME", now.Uptime);
        expected = Replace(expected, "STATE", now.Running ? "\"up\"" : "\"down\"");
        expected = Replace(expected, "SINCE", now.Running ? "\"2026-10-20T10:00\"" : "\"2026-10-20T11:40\"");
        ExpectJson(ReportJson(logs, "", "", now.Now), expected);
    }
}

TEST(Report, SelectionCoversItsRunsAndTheDowntimesBetweenThem)
{
    Files logs{{"2026_11.log", "1 600 UP\n1 660 DOWN    \n2 600 UP\n2 660 DOWN    \n"
                               "3 600 UP\n3 660 DOWN    \n4 600 UP\n4 660 DOWN    \n"}};
    ExpectJson(ReportJson(logs, "2026-11-02", "2026-11-03", "2026-12-01T00:00"),
               R"j({"machines": [{"folder": "logs", "summary": {"runs": 2, "down": 2, "pdown": 0, "crash": 0,
       "unknown": 0, "running": 0, "first_start": "2026-11-02T10:00", "last_end": "2026-11-03T11:00",
       "uptime_minutes": 120, "downtime_minutes": 2760, "availability": 0.041666666666666664, "longest_run_minutes": 60,
       "longest_downtime_minutes": 1380, "warnings": 0,
       "state": "down", "state_since": "2026-11-04T11:00", "newest_run_ended": "down"},
      "runs": [
       {"start": "2026-11-02T10:00", "end": "2026-11-02T11:00", "minutes": 60, "ended": "down", "file": "2026_11.log", "line": 3},
       {"start": "2026-11-03T10:00", "end": "2026-11-03T11:00", "minutes": 60, "ended": "down", "file": "2026_11.log", "line": 5}],
      "warnings": []}]})j");
}

TEST(Report, OnlyTheServicesLogNamesAreRead)
{
    std::string log = "1 0 UP\n1 5 DOWN    \n";
    Files logs{{"Err.log", log},        {"PowerOFF.txt", log}, {"2011_13.log", log},
               {"2011_03.log", log},    {"2011_0.log", log},   {"x2011_3.log", log},
               {"2011_3.log.old", log}, {"+2011_3.log", log},  {"2011_4.log/", ""}};
    // PowerOFF.txt is the schedule, read as the service reads it: 01:00.
    ExpectJson(ReportJson(logs, "", "", "2026-12-01T00:00"),
               R"j({"machines": [{"folder": "logs", "summary": {"runs": 0, "down": 0, "pdown": 0, "crash": 0,
       "unknown": 0, "running": 0, "first_start": null, "last_end": null, "uptime_minutes": 0,
       "downtime_minutes": 0, "availability": null, "longest_run_minutes": 0, "longest_downtime_minutes": 0,
       "schedule": "01:00", "poweroffs_missed": 0, "minutes_past_schedule": 0, "last_poweroff": "none", "warnings": 0,
       "state": null, "state_since": null, "newest_run_ended": null}, "runs": [],
       "warnings": []}]})j");
    // A name nearly a log's is told the service's; none is for the others.
    const std::pair<const char*, const char*> names[] = {{"2011_03.log", "2011_3.log"},
                                                         {"x2011_3.log", "2011_3.log"},
                                                         {"+2011_3.log", "2011_3.log"},
                                                         {"2011-3.LOG", "2011_3.log"},
                                                         {"2011.12.Log", "2011_12.log"},
                                                         {"Err.log", ""},
                                                         {"2011_13.log", ""},
                                                         {"2011_0.log", ""},
                                                         {"2011_3.log.old", ""},
                                                         {"2011_3.log", ""},
                                                         {"12011_3.log", ""},
                                                         {"2011_003.log", ""}};
    for (const auto& [name, spelled] : names)
        EXPECT_EQ(report::NearLogName(name).value_or(""), spelled) << name;
}

TEST(Report, ClockSetBackCountsNoDowntime)
{
    Files logs{{"2026_12.log", "5 600 UP\n5 700 DOWN    \n5 650 UP\n5 800 DOWN    \n"}};
    ExpectJson(ReportJson(logs, "", "", "2027-01-01T00:00"),
               R"j({"machines": [{"folder": "logs", "summary": {"runs": 2, "down": 2, "pdown": 0, "crash": 0,
       "unknown": 0, "running": 0, "first_start": "2026-12-05T10:00", "last_end": "2026-12-05T13:20",
       "uptime_minutes": 250, "downtime_minutes": 38080, "availability": 0.006522306287503261, "longest_run_minutes": 150,
       "longest_downtime_minutes": 38080, "warnings": 1,
       "state": "down", "state_since": "2026-12-05T13:20", "newest_run_ended": "down"},
      "runs": [
       {"start": "2026-12-05T10:00", "end": "2026-12-05T11:40", "minutes": 100, "ended": "down", "file": "2026_12.log", "line": 1},
       {"start": "2026-12-05T10:50", "end": "2026-12-05T13:20", "minutes": 150, "ended": "down", "file": "2026_12.log", "line": 3}],
      "warnings": [{"file": "2026_12.log", "line": 3, "problem": "starts 50m before the previous run's end (clock set back?)"}]}]})j");
}

// Each kept run carries the downtime before it, as the table prints it: none
// for the first, none when the clock was set back.
TEST(Report, RunsKeepTheDowntimeBeforeThem)
{
    TempDir dir;
    WriteWholeFile(dir.Path("2026_12.log"), "5 600 UP\n5 700 DOWN    \n5 650 UP\n5 800 DOWN    \n"
                                            "5 900 UP\n5 950 DOWN    \n");
    report::ReadOptions options;
    options.KeepRuns = true;
    options.Now = *report::ParseMoment("2026-12-06T00:00");
    report::MachineReport machine = ReadFolder(dir.Path(), options);
    ASSERT_EQ(machine.Runs.size(), 3u);
    EXPECT_EQ(machine.Runs[0].DowntimeBefore, 0);
    EXPECT_EQ(machine.Runs[1].DowntimeBefore, 0);
    EXPECT_EQ(machine.Runs[2].DowntimeBefore, 100);
}

// The metrics' last crash and last power-off come from the summary, with no
// runs kept: a newest crash that is still running is no crash.
TEST(Report, SummaryKeepsTheLastCrashAndPowerOff)
{
    TempDir dir;
    WriteWholeFile(dir.Path("2026_12.log"), "1 600 UP\n1 700 CRASH\n2 600 UP\n2 700 PDOWN\n"
                                            "3 600 UP\n3 700 CRASH\n");
    const struct {
        const char* Now;
        const char* LastCrash;
    } cases[] = {{"2027-01-01T00:00", "2026-12-03T11:40"}, {"2026-12-03T11:41", "2026-12-01T11:40"}};
    for (const auto& c : cases) {
        report::ReadOptions options;
        options.Now = *report::ParseMoment(c.Now);
        report::MachineReport machine = ReadFolder(dir.Path(), options);
        EXPECT_TRUE(machine.Runs.empty());
        ASSERT_TRUE(machine.Totals.LastCrashEnd && machine.Totals.LastPdownEnd) << c.Now;
        EXPECT_EQ(report::FormatMoment(*machine.Totals.LastCrashEnd), c.LastCrash) << c.Now;
        EXPECT_EQ(report::FormatMoment(*machine.Totals.LastPdownEnd), "2026-12-02T11:40") << c.Now;
    }
}

// A log of junk keeps its first warnings and counts the rest: one more
// warning passed on says how many are not shown.
TEST(Report, WarningsOfALogAreBounded)
{
    TempDir dir;
    std::string junk;
    for (int i = 0; i < report::WarningsPerLog + 50; i++)
        junk += "junk\n";
    WriteWholeFile(dir.Path("2026_1.log"), junk);
    WriteWholeFile(dir.Path("2026_2.log"), "x\n");
    report::ReadOptions options;
    options.KeepWarnings = true;
    std::vector<report::Warning> passed;
    options.OnWarning = [&passed](const report::Warning& w) { passed.push_back(w); };
    report::MachineReport machine = ReadFolder(dir.Path(), options);
    EXPECT_EQ(machine.Totals.Warnings, report::WarningsPerLog + 51);
    ASSERT_EQ(machine.Warnings.size(), static_cast<size_t>(report::WarningsPerLog + 1));
    EXPECT_EQ(machine.Warnings[report::WarningsPerLog - 1].Line, static_cast<uint64_t>(report::WarningsPerLog));
    EXPECT_EQ(machine.Warnings.back().File, "2026_2.log");
    ASSERT_EQ(passed.size(), static_cast<size_t>(report::WarningsPerLog + 2));
    const report::Warning& more = passed[report::WarningsPerLog];
    EXPECT_EQ(more.File + ':' + std::to_string(more.Line) + ": " + more.Problem,
              "2026_1.log:0: 50 more warnings not shown");
}

// The shutdown that follows a scheduled power-off writes DOWN over PDOWN: such
// a DOWN in the scheduled minute or the next is the power-off. A run that
// stays on 2 minutes past a day's scheduled moment missed it, wherever the
// clocks changed since.
TEST(Report, PowerOffsOnScheduleAndMissed)
{
    const std::string Schedule = "22 30\r\n";
    const struct {
        const char* Name;
        Files Logs;
        std::string Option, Now;
        const char* Expected;
        const char* Zone = "UTC";
    } cases[] = {
        {"from PowerOFF.txt",
         // A PDOWN line; DOWN in the minute, in the next, two minutes late; a
         // run started in the scheduled minute; left on over a weekend, one
         // night until a crash, and still running past the schedule.
         {{"PowerOFF.txt", Schedule},
          {"2026_11.log",
           "1 480 UP\r\n1 1350 PDOWN\r\n2 480 UP\r\n2 1350 DOWN    \r\n3 480 UP\r\n3 1351 DOWN    \r\n"
           "4 480 UP\r\n4 1352 DOWN    \r\n5 1350 UP\r\n5 1351 DOWN    \r\n6 480 UP\r\n9 540 DOWN    \r\n"
           "10 480 UP\r\n11 600 CRASH\r\n12 480 UP\r\n12 1380 CRASH\r\n"}},
         "",
         "2026-11-12T23:01",
         R"j({"machines": [{"folder": "logs", "summary": {"runs": 8, "down": 2, "pdown": 4, "crash": 1, "unknown": 0,
       "running": 1, "first_start": "2026-11-01T08:00", "last_end": "2026-11-12T23:00", "uptime_minutes": 10325,
       "downtime_minutes": 6416, "availability": 0.6167492981303387, "longest_run_minutes": 4380,
       "longest_downtime_minutes": 1438, "schedule": "22:30", "poweroffs_missed": 6, "minutes_past_schedule": 4232,
       "last_poweroff": "missed",
       "warnings": 0,
       "state": "up", "state_since": "2026-11-12T08:00", "newest_run_ended": "running"},
      "runs": [
       {"start": "2026-11-01T08:00", "end": "2026-11-01T22:30", "minutes": 870, "ended": "pdown", "file": "2026_11.log", "line": 1, "missed": 0, "minutes_past_schedule": 0},
       {"start": "2026-11-02T08:00", "end": "2026-11-02T22:30", "minutes": 870, "ended": "pdown", "file": "2026_11.log", "line": 3, "missed": 0, "minutes_past_schedule": 0},
       {"start": "2026-11-03T08:00", "end": "2026-11-03T22:31", "minutes": 871, "ended": "pdown", "file": "2026_11.log", "line": 5, "missed": 0, "minutes_past_schedule": 0},
       {"start": "2026-11-04T08:00", "end": "2026-11-04T22:32", "minutes": 872, "ended": "down", "file": "2026_11.log", "line": 7, "missed": 1, "minutes_past_schedule": 2},
       {"start": "2026-11-05T22:30", "end": "2026-11-05T22:31", "minutes": 1, "ended": "pdown", "file": "2026_11.log", "line": 9, "missed": 0, "minutes_past_schedule": 0},
       {"start": "2026-11-06T08:00", "end": "2026-11-09T09:00", "minutes": 4380, "ended": "down", "file": "2026_11.log", "line": 11, "missed": 3, "minutes_past_schedule": 3510},
       {"start": "2026-11-10T08:00", "end": "2026-11-11T10:00", "minutes": 1560, "ended": "crash", "file": "2026_11.log", "line": 13, "missed": 1, "minutes_past_schedule": 690},
       {"start": "2026-11-12T08:00", "end": "2026-11-12T23:00", "minutes": 900, "ended": "running", "file": "2026_11.log", "line": 15, "missed": 1, "minutes_past_schedule": 30}],
      "warnings": []}]})j"},
        // At 23:59 the minute after is 00:00 of the next day; --schedule wins
        // over the file.
        {"--schedule 23:59 across midnight",
         {{"PowerOFF.txt", Schedule}, {"2026_11.log", "1 600 UP\r\n2 0 DOWN    \r\n3 600 UP\r\n4 1 DOWN    \r\n"}},
         "23:59",
         "2026-12-01T00:00",
         R"j({"machines": [{"folder": "logs", "summary": {"runs": 2, "down": 1, "pdown": 1, "crash": 0, "unknown": 0,
       "running": 0, "first_start": "2026-11-01T10:00", "last_end": "2026-11-04T00:01", "uptime_minutes": 1681,
       "downtime_minutes": 40919, "availability": 0.039460093896713615, "longest_run_minutes": 841,
       "longest_downtime_minutes": 38879, "schedule": "23:59", "poweroffs_missed": 1, "minutes_past_schedule": 2,
       "last_poweroff": "off",
       "warnings": 0,
       "state": "down", "state_since": "2026-11-04T00:01", "newest_run_ended": "down"},
      "runs": [
       {"start": "2026-11-01T10:00", "end": "2026-11-02T00:00", "minutes": 840, "ended": "pdown", "file": "2026_11.log", "line": 1, "missed": 0, "minutes_past_schedule": 0},
       {"start": "2026-11-03T10:00", "end": "2026-11-04T00:01", "minutes": 841, "ended": "down", "file": "2026_11.log", "line": 3, "missed": 1, "minutes_past_schedule": 2}],
      "warnings": []}]})j"},
        {"--schedule none",
         {{"PowerOFF.txt", Schedule}, {"2026_11.log", "1 600 UP\r\n1 1350 DOWN    \r\n"}},
         "none",
         "2026-12-01T00:00",
         R"j({"machines": [{"folder": "logs", "summary": {"runs": 1, "down": 1, "pdown": 0, "crash": 0, "unknown": 0,
       "running": 0, "first_start": "2026-11-01T10:00", "last_end": "2026-11-01T22:30", "uptime_minutes": 750,
       "downtime_minutes": 41850, "availability": 0.017605633802816902, "longest_run_minutes": 750, "longest_downtime_minutes": 41850,
       "schedule": null, "poweroffs_missed": 0, "minutes_past_schedule": 0, "last_poweroff": "none", "warnings": 0,
       "state": "down", "state_since": "2026-11-01T22:30", "newest_run_ended": "down"},
      "runs": [
       {"start": "2026-11-01T10:00", "end": "2026-11-01T22:30", "minutes": 750, "ended": "down", "file": "2026_11.log", "line": 1, "missed": 0, "minutes_past_schedule": 0}],
      "warnings": []}]})j"},
        // A day of 23 hours, then one of 25: 22:32 on the day the clocks go
        // forward is 2 minutes past its power-off, 22:31 on the day they go
        // back only one, though each is more than a day after the first.
        {"missed across each change of the clocks",
         {{"2026_3.log", "28 480 UP\r\n29 1352 CRASH\r\n"}, {"2026_10.log", "24 480 UP\r\n25 1351 CRASH\r\n"}},
         "22:30",
         "2026-11-01T00:00",
         R"j({"machines": [{"folder": "logs", "summary": {"runs": 2, "down": 0, "pdown": 0, "crash": 2, "unknown": 0,
       "running": 0, "first_start": "2026-03-28T08:00", "last_end": "2026-10-25T22:31", "uptime_minutes": 4623,
       "downtime_minutes": 308817, "availability": 0.014749234303215926, "longest_run_minutes": 2371,
       "longest_downtime_minutes": 300088, "schedule": "22:30", "poweroffs_missed": 3, "minutes_past_schedule": 2883,
       "last_poweroff": "off", "warnings": 0, "state": "down", "state_since": "2026-10-25T22:31",
       "newest_run_ended": "crash"},
      "runs": [
       {"start": "2026-03-28T08:00", "end": "2026-03-29T22:32", "minutes": 2252, "ended": "crash", "file": "2026_3.log", "line": 1, "missed": 2, "minutes_past_schedule": 1382},
       {"start": "2026-10-24T08:00", "end": "2026-10-25T22:31", "minutes": 2371, "ended": "crash", "file": "2026_10.log", "line": 1, "missed": 1, "minutes_past_schedule": 1501}],
      "warnings": []}]})j",
         "Europe/Berlin"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        InZone zone(c.Zone);
        ExpectJson(ReportJson(c.Logs, "", "", c.Now, c.Option), c.Expected);
    }
}

// Times as real machines leave them: every log's modification time set as
// the service's last write left it, or as a copy left it; the clocks changed
// for summer time or set back; logs read from a share.
struct TimeCase {
    const char* Name;
    const char* Zone;
    Files Logs;
    const char* Modified;  // every log's modification time, in UTC
    const char* Now;
    int RunningWithin;
    const char* Schedule;            // --schedule, or "" for none known
    const char* Expected;            // each run, then each warning, then the last power-off
    const char* NowInUtc = nullptr;  // now's instant, as the clock gives it
    // PowerOFF.txt's modification time, in UTC, when the folder holds one:
    // read as the schedule unless --schedule is given, and from when it
    // judged the runs, with their missed power-offs, before the last one.
    const char* ScheduleWritten = nullptr;
};

const TimeCase TimeCases[] = {
    {"a run of 46 days, its end the log's time, written in the minute after it",
     "UTC",
     {{"2026_10.log", "25 90 UP\r\n10 90 CRASH\r\n"}},
     "2026-12-10T01:31:05",
     "2026-12-10T01:32",
     2,
     "",
     "2026-10-25T01:30 2026-12-10T01:30 66240 running\n"},
    {"the same log, its time lost in a copy",
     "UTC",
     {{"2026_10.log", "25 90 UP\r\n10 90 CRASH\r\n"}},
     "2026-12-11T09:00:00",
     "2026-12-11T09:00",
     2,
     "",
     "2026-10-25T01:30 2026-11-10T01:30 23040 crash\n"},
    {"the repeated hour as the log's time tells it",
     "Europe/Berlin",
     {{"2026_10.log", "25 125 UP\r\n25 130 DOWN    \r\n"}},
     "2026-10-25T01:10:30",
     "2026-11-01T12:00",
     2,
     "",
     "2026-10-25T02:05 2026-10-25T02:10 65 down\n"},
    {"running in the hour that comes twice, the clock's now in its second coming",
     "Europe/Berlin",
     {{"2026_10.log", "25 60 UP\r\n25 130 CRASH\r\n"}},
     "2026-10-25T01:10:20",
     "2026-10-25T02:11",
     2,
     "",
     "2026-10-25T01:00 2026-10-25T02:10 130 running\n",
     "2026-10-25T01:11"},
    {"a copy's time that matches an older log's last closing line",
     "UTC",
     {{"2026_10.log", "25 90 UP\r\n28 90 CRASH\r\n"}, {"2026_11.log", "1 480 UP\r\n1 600 DOWN    \r\n"}},
     "2026-12-28T01:30:10",
     "2026-12-28T02:00",
     2,
     "",
     "2026-10-25T01:30 2026-10-28T01:30 4320 crash\n2026-11-01T08:00 2026-11-01T10:00 120 down\n"},
    {"a run of 46 days in an older log, the machine started again since",
     "UTC",
     {{"2026_10.log", "25 90 UP\r\n10 90 CRASH\r\n"}, {"2026_12.log", "10 600 UP\r\n10 700 DOWN    \r\n"}},
     "2026-12-10T01:30:10",
     "2026-12-11T00:00",
     2,
     "",
     "2026-10-25T01:30 2026-12-10T01:30 66240 crash\n2026-12-10T10:00 2026-12-10T11:40 100 down\n"},
    {"the repeated hour in a copy",
     "Europe/Berlin",
     {{"2026_10.log", "25 150 UP\r\n25 130 DOWN    \r\n"}},
     "2026-11-01T12:00:00",
     "2026-11-01T12:00",
     2,
     "",
     "2026-10-25T02:30 2026-10-25T02:10 40 down\n"},
    {"a clock set back on an ordinary day",
     "Europe/Berlin",
     {{"2026_11.log", "5 600 UP\r\n5 550 DOWN    \r\n"}},
     "2026-11-06T12:00:00",
     "2026-12-01T00:00",
     2,
     "",
     "2026-11-05T10:00 2026-11-05T10:00 0 unknown\n"
     "2026_11.log:2: closing line before its start (the clock was set back)\n"},
    // Not a month-long run to 9 April: the log was last written on 10 March.
    {"a clock set back across midnight",
     "UTC",
     {{"2026_3.log", "10 300 UP\r\n9 1380 DOWN    \r\n10 480 UP\r\n10 1000 DOWN    \r\n"}},
     "2026-03-10T16:40:20",
     "2026-03-11T00:00",
     2,
     "",
     "2026-03-10T05:00 2026-03-10T05:00 0 unknown\n2026-03-10T08:00 2026-03-10T16:40 520 down\n"
     "2026_3.log:2: closing line before its start (the clock was set back)\n"},
    // Nor a run to 10 November, after the next log's first run began.
    {"a clock set back across midnight, in a copy",
     "UTC",
     {{"2026_10.log", "25 90 UP\r\n10 90 CRASH\r\n"}, {"2026_11.log", "5 480 UP\r\n5 600 DOWN    \r\n"}},
     "2026-12-11T09:00:00",
     "2026-12-11T09:00",
     2,
     "",
     "2026-10-25T01:30 2026-10-25T01:30 0 unknown\n2026-11-05T08:00 2026-11-05T10:00 120 down\n"
     "2026_10.log:2: closing line before its start (the clock was set back)\n"},
    {"a closing line in the hour skipped when the clocks went forward, after its UP",
     "Europe/Berlin",
     {{"2026_3.log", "29 190 UP\r\n29 150 DOWN    \r\n"}},
     "2026-04-01T12:00:00",
     "2026-04-02T00:00",
     2,
     "",
     "2026-03-29T03:10 2026-03-29T03:10 0 unknown\n"
     "2026_3.log:2: closing line before its start (the clock was set back)\n"},
    {"01:00 to 04:00 on the days the clocks change",
     "Europe/Berlin",
     {{"2026_3.log", "29 60 UP\r\n29 240 DOWN    \r\n"}, {"2026_10.log", "25 60 UP\r\n25 240 DOWN    \r\n"}},
     "2026-11-01T12:00:00",
     "2026-11-01T12:00",
     2,
     "",
     "2026-03-29T01:00 2026-03-29T04:00 120 down\n2026-10-25T01:00 2026-10-25T04:00 240 down\n"},
    {"seen 15 minutes ago, read from a share",
     "UTC",
     {{"2026_12.log", "10 60 UP\r\n10 70 CRASH\r\n"}},
     "2026-12-10T01:10:20",
     "2026-12-10T01:25",
     20,
     "",
     "2026-12-10T01:00 2026-12-10T01:10 10 running\n"},
    {"seen 15 minutes ago",
     "UTC",
     {{"2026_12.log", "10 60 UP\r\n10 70 CRASH\r\n"}},
     "2026-12-10T01:10:20",
     "2026-12-10T01:25",
     2,
     "",
     "2026-12-10T01:00 2026-12-10T01:10 10 crash\n"},
    {"last night's power-off on schedule",
     "UTC",
     {{"2026_12.log", "8 480 UP\r\n8 1400 DOWN    \r\n9 480 UP\r\n9 1351 DOWN    \r\n"}},
     "2026-12-09T22:31:10",
     "2026-12-10T08:00",
     2,
     "22:30",
     "2026-12-08T08:00 2026-12-08T23:20 920 down\n2026-12-09T08:00 2026-12-09T22:31 871 pdown\n"
     "last power-off on-schedule\n"},
    {"last night's power-off missed by the running run",
     "UTC",
     {{"2026_12.log", "9 480 UP\r\n9 1352 CRASH\r\n"}},
     "2026-12-09T22:32:10",
     "2026-12-09T22:33",
     2,
     "22:30",
     "2026-12-09T08:00 2026-12-09T22:32 872 running\nlast power-off missed\n"},
    {"off before last night's power-off",
     "UTC",
     {{"2026_12.log", "9 480 UP\r\n9 1000 DOWN    \r\n"}},
     "2026-12-09T16:40:10",
     "2026-12-10T08:00",
     2,
     "22:30",
     "2026-12-09T08:00 2026-12-09T16:40 520 down\nlast power-off off\n"},
    {"no power-off scheduled",
     "UTC",
     {{"2026_12.log", "9 480 UP\r\n9 1400 DOWN    \r\n"}},
     "2026-12-09T23:20:10",
     "2026-12-10T08:00",
     2,
     "none",
     "2026-12-09T08:00 2026-12-09T23:20 920 down\nlast power-off none\n"},
    // The service reads PowerOFF.txt when it starts: a run started in the
    // minute the file was written or later is held against it, none before.
    {"a PowerOFF.txt younger than some runs",
     "UTC",
     {{"PowerOFF.txt", "22 30\r\n"},
      {"2026_12.log", "7 480 UP\r\n7 1350 DOWN    \r\n8 480 UP\r\n8 1400 DOWN    \r\n"
                      "9 420 UP\r\n9 1351 DOWN    \r\n10 480 UP\r\n10 1400 DOWN    \r\n"}},
     "2026-12-10T23:20:10",
     "2026-12-11T08:00",
     2,
     "",
     "2026-12-07T08:00 2026-12-07T22:30 870 down\n2026-12-08T08:00 2026-12-08T23:20 920 down\n"
     "2026-12-09T07:00 2026-12-09T22:31 931 pdown\n2026-12-10T08:00 2026-12-10T23:20 920 down\n"
     "judged from 2026-12-09T07:00, 1 missed\nlast power-off missed\n",
     nullptr,
     "2026-12-09T07:00:30"},
    {"--schedule judges every run, however young the file",
     "UTC",
     {{"PowerOFF.txt", "22 30\r\n"},
      {"2026_12.log", "7 480 UP\r\n7 1350 DOWN    \r\n8 480 UP\r\n8 1400 DOWN    \r\n"
                      "9 420 UP\r\n9 1351 DOWN    \r\n10 480 UP\r\n10 1400 DOWN    \r\n"}},
     "2026-12-10T23:20:10",
     "2026-12-11T08:00",
     2,
     "22:30",
     "2026-12-07T08:00 2026-12-07T22:30 870 pdown\n2026-12-08T08:00 2026-12-08T23:20 920 down\n"
     "2026-12-09T07:00 2026-12-09T22:31 931 pdown\n2026-12-10T08:00 2026-12-10T23:20 920 down\n"
     "judged from the first run, 2 missed\nlast power-off missed\n",
     nullptr,
     "2026-12-09T07:00:30"},
    {"last night not judged: the run on at it started before the file was written",
     "UTC",
     {{"PowerOFF.txt", "22 30\r\n"}, {"2026_12.log", "10 480 UP\r\n10 1380 CRASH\r\n"}},
     "2026-12-10T23:00:10",
     "2026-12-10T23:01",
     2,
     "",
     "2026-12-10T08:00 2026-12-10T23:00 900 running\njudged from 2026-12-10T12:00, 0 missed\nlast power-off none\n",
     nullptr,
     "2026-12-10T12:00:00"},
};

TEST(Report, TimesAsRealMachinesLeaveThem)
{
    for (const TimeCase& c : TimeCases) {
        SCOPED_TRACE(c.Name);
        InZone zone(c.Zone);
        TempDir dir;
        // The modification time given in UTC, as the file system keeps it.
        report::LocalMinute utc = *report::ParseMoment(std::string(c.Modified).substr(0, 16));
        timespec modified[2] = {};
        modified[0].tv_sec = modified[1].tv_sec =
            utc.time_since_epoch().count() * 60 + std::stoi(std::string(c.Modified).substr(17));
        for (const auto& [name, bytes] : c.Logs) {
            WriteWholeFile(dir.Path(name), bytes);
            ASSERT_EQ(utimensat(AT_FDCWD, dir.Path(name).c_str(), modified, 0), 0);
        }
        if (c.ScheduleWritten != nullptr) {
            report::LocalMinute at = *report::ParseMoment(std::string(c.ScheduleWritten).substr(0, 16));
            modified[0].tv_sec = modified[1].tv_sec =
                at.time_since_epoch().count() * 60 + std::stoi(std::string(c.ScheduleWritten).substr(17));
            ASSERT_EQ(utimensat(AT_FDCWD, dir.Path("PowerOFF.txt").c_str(), modified, 0), 0);
        }
        report::ReadOptions options;
        options.Now = *report::ParseMoment(c.Now);
        if (c.NowInUtc != nullptr)
            options.NowInstant = report::ParseMoment(c.NowInUtc)->time_since_epoch().count();
        options.RunningWithin = c.RunningWithin;
        options.KeepRuns = options.KeepWarnings = true;
        std::string problem;
        std::string note;
        if (*c.Schedule)
            options.Schedule = *report::ParseScheduleOption(c.Schedule);
        else if (c.ScheduleWritten != nullptr)
            options.Schedule = report::ReadFolderSchedule(dir.Path(), problem, note);
        report::MachineReport machine = ReadFolder(dir.Path(), options);
        std::ostringstream described;
        for (const report::Run& run : machine.Runs)
            described << report::FormatMoment(run.Start) << ' ' << report::FormatMoment(run.End) << ' ' << run.Minutes
                      << ' ' << report::EndName(run.Ended) << '\n';
        for (const report::Warning& warning : machine.Warnings)
            described << warning.File << ':' << warning.Line << ": " << warning.Problem << '\n';
        if (c.ScheduleWritten != nullptr) {
            const std::optional<report::Moment>& from = machine.Totals.ScheduleJudgedFrom;
            described << "judged from " << (from ? report::FormatMoment(*from) : "the first run") << ", "
                      << machine.Totals.PoweroffsMissed << " missed\n";
        }
        if (*c.Schedule || c.ScheduleWritten != nullptr)
            described << "last power-off " << report::LastPowerOffName(machine.Totals.LastPowerOffAnswer) << '\n';
        EXPECT_EQ(described.str(), c.Expected);
    }
}

// However the bytes come, in one piece or one at a time, the report is the same.
TEST(Report, BytesInAnyPiecesReadAlike)
{
    std::string log = "3 6" + std::string(70000, '\0') + "4 800 DOWN    \r\n" + std::string(70000, 'x') +
                      "\n5 600 UP\r\n5 610 CRASH\r\n6 1 x y APDOWN\r\n6 1 " + std::string(70000, 'p') +
                      " APDOWN\r\n7 0 UP" + std::string(70000, ' ') + "\r\n" + "7 1 CRASH" +
                      std::string(65536 - 9, ' ') + "\r\n\r\n  " + Nul + " \r\n";
    auto read = [&log](size_t piece) {
        report::ReadOptions options;
        options.KeepRuns = options.KeepWarnings = true;
        options.Now = *report::ParseMoment("2027-01-01T00:00");
        FedLogs fed(options);
        fed.Log({"2026_8.log", {2026, 8}}, log, piece);
        std::ostringstream out;
        report::PrintJson(out, {fed.Finish()});
        return out.str();
    };
    std::string whole = read(log.size());
    EXPECT_NE(whole.find("\"line\": 3"), std::string::npos) << whole;
    EXPECT_NE(whole.find("\"ended\": \"crash\""), std::string::npos) << whole;
    // The fragment, its zeros, the DOWN, the long line, the long
    // announcement, the long UP and the CRASH that closes no run, the CRASH
    // as long as a record may be; a blank line, and a line of blanks and a NUL.
    EXPECT_NE(whole.find("\"warnings\": 9"), std::string::npos) << whole;
    for (size_t piece : {1, 2, 3, 7, 4096})
        EXPECT_EQ(read(piece), whole) << piece;
}

// A large folder, its logs read in blocks, gives the same runs and the same
// warnings, in the same order, as its logs fed one after another whole.
TEST(Report, LargeFolderReadsAsItsLogsOneAfterAnother)
{
    TempDir dir;
    std::vector<report::LogFile> logs;
    uint32_t seed = 1;
    auto next = [&seed](uint32_t below) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % below;
    };
    // Two and a half years of 3,000 runs a month; one month of 20,000, more
    // than a block of bytes, and one empty. Now and then a damaged line, a run without its
    // closing line, a line cut by NUL bytes, or a run that ends next month.
    for (int i = 0; i < 30; i++) {
        report::LogFile log{std::to_string(2024 + i / 12) + "_" + std::to_string(i % 12 + 1) + ".log",
                            {2024 + i / 12, i % 12 + 1}};
        std::string text;
        int runs = i == 25 ? 20000 : i == 27 ? 0 : 3000;
        for (int run = 0; run < runs; run++) {
            uint32_t day = 1 + next(28), start = next(1400);
            text += std::to_string(day) + ' ' + std::to_string(start) + " UP\r\n";
            const char* endings[] = {" DOWN    \r\n", " CRASH\r\n", " PDOWN\r\n"};
            switch (next(100)) {
            case 0: text += "damaged\r\n"; break;
            case 1: break;
            case 2: text += std::to_string(day) + " 14" + std::string(5, '\0'); break;
            case 3: text += "3 100 DOWN    \r\n"; break;
            default: text += std::to_string(day) + ' ' + std::to_string(start + next(40)) + endings[next(3)];
            }
        }
        WriteWholeFile(dir.Path(log.Name), text);
        logs.push_back(log);
    }
    report::ReadOptions options;
    options.KeepRuns = true;
    options.Now = *report::ParseMoment("2027-01-01T00:00");
    options.Schedule = {true, 22 * 60 + 30};
    std::vector<std::string> warnings[2];
    // A line per run, then the summary's JSON: far quicker than the runs'
    // JSON.
    auto described = [](report::MachineReport machine) {
        std::ostringstream out;
        for (const report::Run& run : machine.Runs)
            out << run.Start.Instant << ' ' << run.End.Instant << ' ' << report::EndName(run.Ended) << ' ' << run.File
                << ':' << run.Line << ' ' << run.DowntimeBefore << ' ' << run.Missed << ' ' << run.MinutesPastSchedule
                << '\n';
        machine.Runs.clear();
        machine.Folder = "logs";
        report::PrintJson(out, {machine});
        return out.str();
    };

    options.OnWarning = [&warnings](const report::Warning& w) {
        warnings[0].push_back(w.File + ':' + std::to_string(w.Line) + ": " + w.Problem);
    };
    std::string folder = described(ReadFolder(dir.Path(), options));
    options.OnWarning = [&warnings](const report::Warning& w) {
        warnings[1].push_back(w.File + ':' + std::to_string(w.Line) + ": " + w.Problem);
    };
    FedLogs fedLogs(options);
    for (const report::LogFile& log : logs) {
        std::string bytes = ReadWholeFile(dir.Path(log.Name));
        fedLogs.Log(log, bytes, bytes.size());
    }
    // Megabytes of text: where they part, not a diff of them.
    std::string fed = described(fedLogs.Finish());
    size_t same =
        static_cast<size_t>(std::mismatch(folder.begin(), folder.end(), fed.begin(), fed.end()).first - folder.begin());
    EXPECT_EQ(same, folder.size()) << folder.substr(same, 200) << "\ninstead of\n" << fed.substr(same, 200);
    EXPECT_EQ(folder.size(), fed.size());
    EXPECT_GT(warnings[0].size(), 1000u);
    EXPECT_TRUE(warnings[0] == warnings[1]);
}

}  // namespace
