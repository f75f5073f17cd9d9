// SPDX-License-Identifier: Apache-2.0
// verdimoor-report, the program: its options, its outputs for people and
// for spreadsheets, its errors and exit codes, each folder's schedule and the
// files it writes in one step.
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include "report/core/utf8.h"
#include "report/program/folder-schedule.h"
#include "report/program/output-file.h"
#include "report/read/machine-folder.h"
#include "tests/helpers.h"

namespace {

struct Result {
    int Code;
    std::string Out;
    std::string Err;
};

// Runs the program with arguments (already quoted for the shell, and maybe
// followed by more of the shell's words) in dir, through runAs when given.
Result RunReport(const TempDir& dir, const std::string& arguments, const std::string& binary = REPORT_BINARY,
                 const std::string& runAs = "")
{
    TempDir output;
    std::string command = "cd '" + dir.Path() + "' && { " + runAs + " '" + binary + "' " + arguments + "; } >'" +
                          output.Path("out") + "' 2>'" + output.Path("err") + "'";
    int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadWholeFile(output.Path("out")),
            ReadWholeFile(output.Path("err"))};
}

// The program's arguments (quoted for the shell), and what it must do.
struct ProgramCase {
    std::string Arguments;
    Result Expected;
};

template <size_t N> void ExpectResults(const TempDir& dir, const ProgramCase (&cases)[N])
{
    for (const ProgramCase& c : cases) {
        SCOPED_TRACE(c.Arguments);
        Result result = RunReport(dir, c.Arguments);
        EXPECT_EQ(result.Code, c.Expected.Code);
        EXPECT_EQ(result.Out, c.Expected.Out);
        EXPECT_EQ(result.Err, c.Expected.Err);
    }
}

const char* const Month = "8 600 UP\r\n8 1020 DOWN    \r\n9 540 UP\r\n9 1231 CRASH\r\n10 480 UP\r\n10 1320 PDOWN\r\n"
                          "hello\r\n11 600 UP\r\n";

const char* const Summary = R"(logs
  Now               down; the newest run, from 2026-03-11 10:00, has no known end
  Runs              4, from 2026-03-08 10:00 to 2026-03-11 10:00
  Ended             1 down, 1 pdown, 1 crash, 1 unknown, 0 running
  Uptime            1d 8h 31m (5.74%)
  Downtime          22d 5h 29m (94.26%)
  Longest run       14h 0m, from 2026-03-10 08:00
  Longest downtime  20d 14h 0m, from 2026-03-11 10:00
  Warnings          1
)";

TEST(ReportProgram, OutputsAndExitCodes)
{
    TempDir dir;
    mkdir(dir.Path("logs").c_str(), 0755);
    mkdir(dir.Path("a,\"b\"").c_str(), 0755);
    mkdir(dir.Path("empty").c_str(), 0755);
    WriteWholeFile(dir.Path("logs/2026_3.log"), Month);
    WriteWholeFile(dir.Path("a,\"b\"/2026_1.log"), "1 0 UP\n1 5 DOWN    \n");
    mkdir(dir.Path("server").c_str(), 0755);
    WriteWholeFile(dir.Path("server/2026_12.log"), "10 463 UP\r\n10 839 CRASH\r\n");
    // Logs named nearly as the service names them, and a time read as the
    // service reads it, which it warns of.
    mkdir(dir.Path("named").c_str(), 0755);
    for (const char* name : {"2026_03.log", "2026-3.log", "2026_3.LOG", "old 2026_3.log", "2026_3.log.bak"})
        WriteWholeFile(dir.Path("named/") + name, Month);
    mkdir(dir.Path("tenpm").c_str(), 0755);
    WriteWholeFile(dir.Path("tenpm/2026_3.log"), "9 540 UP\r\n9 1231 DOWN    \r\n");
    WriteScheduleFile(dir.Path("tenpm/PowerOFF.txt"), "10pm\r\n");
    // A schedule written on the morning of the 9th, 08:00:20 UTC, which the
    // service read from the run it started at 09:00 on: the run before is
    // not judged.
    InZone zone("UTC");
    mkdir(dir.Path("edited").c_str(), 0755);
    WriteWholeFile(dir.Path("edited/2026_3.log"), "8 600 UP\r\n8 1350 DOWN    \r\n9 540 UP\r\n9 1351 DOWN    \r\n");
    WriteScheduleFile(dir.Path("edited/PowerOFF.txt"), "22 30\r\n", 1773043220);
    const std::string warning = "logs/2026_3.log:7: damaged line\n";
    const std::string now = "--now 2026-04-01T00:00 ";
    const std::string noLogs = ": no logs: the service names them as 2026_3.log and 2026_12.log, one a month";
    const std::string option = "' is an option, not a file name: ./";

    const ProgramCase cases[] = {
        {now + "logs", {0, Summary, warning}},
        {now + "--table logs",
         {0, std::string(Summary) + R"(
     #  Start             End               Duration      Ended    Downtime after
     1  2026-03-08 10:00  2026-03-08 17:00  7h 0m         down     16h 0m
     2  2026-03-09 09:00  2026-03-09 20:31  11h 31m       crash    11h 29m
     3  2026-03-10 08:00  2026-03-10 22:00  14h 0m        pdown    12h 0m
     4  2026-03-11 10:00  -                 0m            unknown  -
)",
          warning}},
        {now + "--since 2026-03-10 --until 2026-03-10 empty logs",
         {0, R"(empty
  Now               no runs
  Runs              0
  Warnings          1

logs
  Now               down; the newest run, from 2026-03-11 10:00, has no known end
  Runs              1, from 2026-03-10 08:00 to 2026-03-10 22:00
  Ended             0 down, 1 pdown, 0 crash, 0 unknown, 0 running
  Uptime            14h 0m (58.33%)
  Downtime          10h 0m (41.67%)
  Longest run       14h 0m, from 2026-03-10 08:00
  Longest downtime  8h 0m, from 2026-03-10 00:00
  Warnings          1
)",
          "empty" + noLogs + "\n" + warning}},
        // Up, counted up to now; then down, 6 minutes later, after a crash.
        {"--now 2026-12-10T14:00 server",
         {0, R"(server
  Now               up since 2026-12-10 07:43 (6h 17m)
  Runs              1, from 2026-12-10 07:43 to 2026-12-10 13:59
  Ended             0 down, 0 pdown, 0 crash, 0 unknown, 1 running
  Uptime            6h 17m (100.00%)
  Downtime          0m (0.00%)
  Longest run       6h 16m, from 2026-12-10 07:43
  Warnings          0
)",
          ""}},
        {"--now 2026-12-10T14:05 server",
         {0, R"(server
  Now               down since 2026-12-10 13:59 (6m), after a crash
  Runs              1, from 2026-12-10 07:43 to 2026-12-10 13:59
  Ended             0 down, 0 pdown, 1 crash, 0 unknown, 0 running
  Uptime            6h 16m (98.43%)
  Downtime          6m (1.57%)
  Longest run       6h 16m, from 2026-12-10 07:43
  Longest downtime  6m, from 2026-12-10 13:59
  Warnings          0
)",
          ""}},
        // Folders that hold no logs, each with a hint.
        {now + ". named",
         {0,
          ".\n  Now               no runs\n  Runs              0\n  Warnings          1\n\n"
          "named\n  Now               no runs\n  Runs              0\n  Warnings          5\n",
          "." + noLogs +
              "; the folders below hold machines' logs: --fleet reads them\n"
              "named/2026-3.log: not read: the service would have named it 2026_3.log\n"
              "named/2026_03.log: not read: the service would have named it 2026_3.log\n"
              "named/2026_3.LOG: not read: the service would have named it 2026_3.log\n"
              "named/old 2026_3.log: not read: the service would have named it 2026_3.log\n"
              "named" +
              noLogs + "\n"}},
        {now + "tenpm",
         {0, R"(tenpm
  Now               down since 2026-03-09 20:31 (22d 3h 29m), after a clean stop
  Runs              1, from 2026-03-09 09:00 to 2026-03-09 20:31
  Ended             1 down, 0 pdown, 0 crash, 0 unknown, 0 running
  Uptime            11h 31m (2.12%)
  Downtime          22d 3h 29m (97.88%)
  Longest run       11h 31m, from 2026-03-09 09:00
  Longest downtime  22d 3h 29m, from 2026-03-09 20:31
  Power-off         10:00: 0 on schedule, 1 missed (10h 31m past the schedule)
  Warnings          1
)",
          "tenpm/PowerOFF.txt: has \"pm\" after the time, read as 10:00\n"}},
        {now + "--schedule '22 30' tenpm",
         {0, R"(tenpm
  Now               down since 2026-03-09 20:31 (22d 3h 29m), after a clean stop
  Runs              1, from 2026-03-09 09:00 to 2026-03-09 20:31
  Ended             1 down, 0 pdown, 0 crash, 0 unknown, 0 running
  Uptime            11h 31m (2.12%)
  Downtime          22d 3h 29m (97.88%)
  Longest run       11h 31m, from 2026-03-09 09:00
  Longest downtime  22d 3h 29m, from 2026-03-09 20:31
  Power-off         22:30: 0 on schedule, 0 missed
  Warnings          0
)",
          ""}},
        // The run before the file was written is not judged.
        {now + "edited",
         {0, R"(edited
  Now               down since 2026-03-09 22:31 (22d 1h 29m), after a scheduled power-off
  Runs              2, from 2026-03-08 10:00 to 2026-03-09 22:31
  Ended             1 down, 1 pdown, 0 crash, 0 unknown, 0 running
  Uptime            1d 2h 1m (4.60%)
  Downtime          22d 11h 59m (95.40%)
  Longest run       13h 31m, from 2026-03-09 09:00
  Longest downtime  22d 1h 29m, from 2026-03-09 22:31
  Power-off         22:30 since 2026-03-09 08:00: 1 on schedule, 0 missed
  Warnings          0
)",
          ""}},
        {now + "--fleet --json edited",
         {0, R"({
  "machines": [
    {
      "folder": "edited",
      "machine": "edited",
      "summary": {
        "runs": 2,
        "down": 1,
        "pdown": 1,
        "crash": 0,
        "unknown": 0,
        "running": 0,
        "first_start": "2026-03-08T10:00",
        "last_end": "2026-03-09T22:31",
        "uptime_minutes": 1561,
        "downtime_minutes": 32399,
        "availability": 0.0459658421672556,
        "longest_run_minutes": 811,
        "longest_downtime_minutes": 31769,
        "schedule": "22:30",
        "poweroffs_missed": 0,
        "minutes_past_schedule": 0,
        "last_poweroff": "off",
        "warnings": 0,
        "state": "down",
        "state_since": "2026-03-09T22:31",
        "newest_run_ended": "pdown",
        "schedule_judged_from": "2026-03-09T08:00"
      }
    }
  ]
}
)",
          ""}},
        {now + "--csv logs/ 'a,\"b\"'",
         {0, R"(folder,start,end,minutes,ended,file,line
logs/,2026-03-08T10:00,2026-03-08T17:00,420,down,2026_3.log,1
logs/,2026-03-09T09:00,2026-03-09T20:31,691,crash,2026_3.log,3
logs/,2026-03-10T08:00,2026-03-10T22:00,840,pdown,2026_3.log,5
logs/,2026-03-11T10:00,2026-03-11T10:00,0,unknown,2026_3.log,8
"a,""b""",2026-01-01T00:00,2026-01-01T00:05,5,down,2026_1.log,1
)",
          warning}},
        {now + "--top 3 logs",
         {0, R"(logs
     #  Start             End               Duration      Ended
     1  2026-03-10 08:00  2026-03-10 22:00  14h 0m        pdown
     2  2026-03-09 09:00  2026-03-09 20:31  11h 31m       crash
     3  2026-03-08 10:00  2026-03-08 17:00  7h 0m         down
)",
          warning}},
        {now + "--last 2 --csv logs",
         {0, R"(rank,folder,start,end,minutes,ended,file,line
1,logs,2026-03-11T10:00,2026-03-11T10:00,0,unknown,2026_3.log,8
2,logs,2026-03-10T08:00,2026-03-10T22:00,840,pdown,2026_3.log,5
)",
          warning}},
        {now + "--last 1 --json empty",
         {0, R"({
  "machines": [
    {
      "folder": "empty",
      "runs": []
    }
  ]
}
)",
          "empty: no logs: the service names them as 2026_3.log and 2026_12.log, one a month\n"}},
        {"--version", {0, "verdimoor-report 1.0.0\n", ""}},
        {"--bogus logs", {2, "", "verdimoor-report: error: The following argument was not expected: --bogus\n"}},
        {"--json --csv logs", {2, "", "verdimoor-report: error: --json excludes --csv\n"}},
        {"logs missing", {2, "", "verdimoor-report: error: 'missing': No such file or directory\n"}},
        {"logs/2026_3.log", {2, "", "verdimoor-report: error: 'logs/2026_3.log': Not a directory\n"}},
        {"--since 2026-02-30 logs",
         {2, "", "verdimoor-report: error: --since: '2026-02-30' is not a day, YYYY-MM-DD\n"}},
        {"--now 2026-02-01T24:00 logs",
         {2, "", "verdimoor-report: error: --now: '2026-02-01T24:00' is not a moment, YYYY-MM-DDTHH:MM\n"}},
        {"--since 2026-11-30 --until 2026-11-01 logs",
         {2, "", "verdimoor-report: error: --since 2026-11-30 is after --until 2026-11-01\n"}},
        {"--schedule '' logs",
         {2, "", "verdimoor-report: error: --schedule: '' is not a time of day, H:MM or H MM, or none\n"}},
        {"--svg '' logs", {2, "", "verdimoor-report: error: --svg: '' is not a file name\n"}},
        // A value left out hands over the option after it.
        {"--svg --fleet logs",
         {2, "", "verdimoor-report: error: --svg: '--fleet" + option + "--fleet names a file of that name\n"}},
        {"--output --json logs",
         {2, "", "verdimoor-report: error: --output: '--json" + option + "--json names a file of that name\n"}},
        {"--html=-x logs", {2, "", "verdimoor-report: error: --html: '-x" + option + "-x names a file of that name\n"}},
        {"--machine --csv logs", {2, "", "verdimoor-report: error: --machine: '--csv' is an option, not a name\n"}},
        {"--top 0 logs", {2, "", "verdimoor-report: error: --top: Value 0 not in range 1 to 1000000\n"}},
        {"--top 2 --last 2 logs", {2, "", "verdimoor-report: error: --top excludes --last\n"}},
        {"--last 2 --table logs", {2, "", "verdimoor-report: error: --table excludes --last\n"}},
        {"--machine a --machine a logs", {2, "", "verdimoor-report: error: --machine: 'a' given twice\n"}},
    };
    ExpectResults(dir, cases);
    Result help = RunReport(dir, "--help");
    EXPECT_EQ(help.Code, 0);
    EXPECT_NE(help.Out.find("--since"), std::string::npos) << help.Out;
    for (const char* left : {"--fleet", "--json", "-x"})
        EXPECT_FALSE(std::filesystem::exists(dir.Path(left))) << left;
}

// The fleet: a row per machine, from folders given and from a folder of
// folders, as a share that collects many machines' logs holds them, at any
// depth. A subfolder with neither logs nor PowerOFF.txt is no machine; a
// folder given without any is. Links in the share change no machine's name:
// one to a folder of it met first, one back to a folder that holds it, and
// one out of it to a folder given.
TEST(ReportProgram, FleetOfFoldersAndOfAFolderOfFolders)
{
    TempDir dir;
    for (const char* folder : {"empty", "share", "share/a-no-schedule", "share/b-empty-poweroff", "share/c-nothing",
                               "share/d-nothing-at-all", "share/loopy", "share/site2", "share/site2/pc-e"})
        mkdir(dir.Path(folder).c_str(), 0755);
    std::filesystem::create_symlink("../site2", dir.Path("share/loopy/s2"));
    std::filesystem::create_symlink("../..", dir.Path("share/site2/back"));
    std::filesystem::create_symlink("../empty", dir.Path("share/out"));
    const std::string links = "share/out: a symbolic link out of the collection, not followed\n"
                              "share/site2/back: a symbolic link back into the collection, not followed\n";
    WriteWholeFile(dir.Path("share/a-no-schedule/2026_11.log"),
                   "1 480 UP\r\n1 1020 DOWN    \r\n2 480 UP\r\n2 600 CRASH\r\n");
    WriteWholeFile(dir.Path("share/b-empty-poweroff/2026_11.log"), "3 480 UP\r\n4 60 DOWN    \r\n5 600 UP\r\n");
    WriteScheduleFile(dir.Path("share/b-empty-poweroff/PowerOFF.txt"), "");
    WriteScheduleFile(dir.Path("share/c-nothing/PowerOFF.txt"), "22 30\r\n");
    WriteWholeFile(dir.Path("share/site2/pc-e/2026_11.log"), "9 480 UP\r\n9 540 DOWN    \r\n");
    const std::string csv =
        "machine,schedule,runs,crash,pdown,poweroffs_missed,minutes_past_schedule,uptime_minutes,availability,"
        "last_end,running,last_poweroff,warnings,incomplete,newest_run_ended,state_since\n";
    const std::string rows =
        "a-no-schedule,,2,1,0,,,660,0.01544943820224719,2026-11-02T10:00,0,none,0,,crash,2026-11-02T10:00\n"
        "b-empty-poweroff,00:00,2,0,0,1,60,1020,0.025602409638554216,2026-11-05T10:00,0,off,1,,unknown,\n"
        "c-nothing,22:30,0,0,0,0,0,0,,,0,none,1,,,\n"
        "site2/pc-e,,1,0,0,,,60,0.0019230769230769232,2026-11-09T09:00,0,none,0,,down,2026-11-09T09:00\n";
    const std::string now = "--now 2026-12-01T00:00 ";
    const std::string noLogs = ": no logs: the service names them as 2026_3.log and 2026_12.log, one a month\n";
    const std::string shareWarnings =
        "share/b-empty-poweroff/PowerOFF.txt: is empty, read as 00:00\nshare/c-nothing" + noLogs;
    const std::string warnings = "empty" + noLogs + shareWarnings;

    const ProgramCase cases[] = {
        {now + "--fleet --csv empty share", {0, csv + "empty,,0,0,0,,,0,,,0,none,1,,,\n" + rows, links + warnings}},
        {now + "--fleet --csv --machine pc-a --machine pc-b 'share/?-*'",
         {0,
          csv + "pc-a,,2,1,0,,,660,0.01544943820224719,2026-11-02T10:00,0,none,0,,crash,2026-11-02T10:00\n"
                "pc-b,00:00,2,0,0,1,60,1020,0.025602409638554216,2026-11-05T10:00,0,off,1,,unknown,\n"
                "c-nothing,22:30,0,0,0,0,0,0,,,0,none,1,,,\n"
                "d-nothing-at-all,,0,0,0,,,0,,,0,none,1,,,\n",
          "share/b-empty-poweroff/PowerOFF.txt: is empty, read as 00:00\nshare/c-nothing" + noLogs +
              "share/d-nothing-at-all" + noLogs}},
        {now + "--fleet empty share",
         {0,
          R"(Machine           Schedule  Runs  Crashes  On schedule  Missed  Past schedule  Availability  Last seen         Now  Since             Ended    Last power-off  Warnings
empty             -            0        0            0       -              -             -  -                 off  -                 -        none                   1
a-no-schedule     -            2        1            0       -              -         1.54%  2026-11-02 10:00  off  2026-11-02 10:00  crash    none                   0
b-empty-poweroff  00:00        2        0            0       1          1h 0m         2.56%  2026-11-05 10:00  off  -                 unknown  off                    1
c-nothing         22:30        0        0            0       0             0m             -  -                 off  -                 -        none                   1
site2/pc-e        -            1        0            0       -              -         0.19%  2026-11-09 09:00  off  2026-11-09 09:00  down     none                   0
5 machines: 1 crash, 1 missed power-off, 1.0 hours past the schedule
)",
          links + warnings}},
        {now + "--fleet --csv 'sh*/site?/pc-e' '*/*/pc-?'",
         {0, csv + "pc-e,,1,0,0,,,60,0.0019230769230769232,2026-11-09T09:00,0,none,0,,down,2026-11-09T09:00\n", ""}},
        {now + "--fleet --top 2 share",
         {0, R"(     #  Machine           Start             End               Duration      Ended
     1  b-empty-poweroff  2026-11-03 08:00  2026-11-04 01:00  17h 0m        down
     2  a-no-schedule     2026-11-01 08:00  2026-11-01 17:00  9h 0m         down
)",
          links + shareWarnings}},
        {now + "--fleet --last 2 --csv share",
         {0, R"(rank,machine,start,end,minutes,ended,file,line
1,site2/pc-e,2026-11-09T08:00,2026-11-09T09:00,60,down,2026_11.log,1
2,b-empty-poweroff,2026-11-05T10:00,2026-11-05T10:00,0,unknown,2026_11.log,3
)",
          links + shareWarnings}},
        {now + "--fleet --last 1 --json share",
         {0, R"({
  "runs": [
    {
      "rank": 1,
      "machine": "site2/pc-e",
      "folder": "share/site2/pc-e",
      "start": "2026-11-09T08:00",
      "end": "2026-11-09T09:00",
      "minutes": 60,
      "ended": "down",
      "file": "2026_11.log",
      "line": 1
    }
  ]
}
)",
          links + shareWarnings}},
        {"--fleet 'share/x*'", {2, "", "verdimoor-report: error: 'share/x*': no folder matches\n"}},
        {"--fleet 'share/*/pc-x'", {2, "", "verdimoor-report: error: 'share/*/pc-x': no folder matches\n"}},
        {"--fleet --table share", {2, "", "verdimoor-report: error: --table excludes --fleet\n"}},
    };
    ExpectResults(dir, cases);
}

// What a stranger's folders and paths may hold: each case's exit code, and
// one line that standard output or standard error must hold. A device, a
// FIFO and a link stay what they were.
TEST(ReportProgram, HostileInputs)
{
    TempDir dir;
    ASSERT_EQ(mknod(dir.Path("full").c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);  // as /dev/full
    ASSERT_EQ(mkfifo(dir.Path("fifo").c_str(), 0666), 0);
    int fifo = open(dir.Path("fifo").c_str(), O_RDONLY | O_NONBLOCK);  // left to the shell's cat
    ASSERT_GE(fifo, 0);
    WriteWholeFile(dir.Path("target"), "old\n");
    std::filesystem::create_symlink("target", dir.Path("link"));
    const std::string log = "1 0 UP\r\n1 5 DOWN    \r\n";
    mkdir(dir.Path("junk").c_str(), 0755);
    std::string junk;
    for (int i = 0; i < 30000; i++)
        junk += "Fr 1. Jan 12:00:00 junk\r\n";
    WriteWholeFile(dir.Path("junk/2026_1.log"), junk);
    // A share of machines at two depths, two of one name, and a folder and
    // a log that only root may read.
    for (const char* folder : {"fleet", "fleet/siteA", "fleet/siteB"})
        mkdir(dir.Path(folder).c_str(), 0755);
    for (const char* folder : {"fleet/siteA/lab-01", "fleet/siteB/lab-01", "fleet/siteB/locked", "secret"}) {
        mkdir(dir.Path(folder).c_str(), 0755);
        WriteWholeFile(dir.Path(folder) + "/2026_1.log", log);
    }
    chmod(dir.Path().c_str(), 0755);
    chmod(dir.Path("fleet/siteB/locked").c_str(), 0);
    chmod(dir.Path("secret/2026_1.log").c_str(), 0);
    WriteWholeFile(dir.Path("secret/PowerOFF.txt"), "22 30\r\n");
    chmod(dir.Path("secret/PowerOFF.txt").c_str(), 0);
    // Logs of far years, and 250 months with runs, more than the picture draws.
    mkdir(dir.Path("far").c_str(), 0755);
    for (const char* name : {"1_1.log", "1970_1.log", "2038_1.log", "9999_12.log"})
        WriteWholeFile(dir.Path("far/") + name, log);
    mkdir(dir.Path("months").c_str(), 0755);
    for (int month = 0; month < 250; month++)
        WriteWholeFile(dir.Path("months/") + std::to_string(2000 + month / 12) + "_" + std::to_string(month % 12 + 1) +
                           ".log",
                       log);
    // Logs that are no files of the service's: a link to a file of the
    // kernel's that never ends, a FIFO without a writer, a file longer than
    // the service writes (with a record past the end it is read to) and one
    // as long as it writes, and a link as the schedule.
    mkdir(dir.Path("planted").c_str(), 0755);
    std::filesystem::create_symlink("/proc/self/pagemap", dir.Path("planted/2026_12.log"));
    ASSERT_EQ(mkfifo(dir.Path("planted/2026_11.log").c_str(), 0666), 0);
    WriteWholeFile(dir.Path("planted/2026_10.log"), "1 0 UP\r\n");
    ASSERT_EQ(truncate(dir.Path("planted/2026_10.log").c_str(), report::MostLogBytes), 0);
    std::ofstream(dir.Path("planted/2026_10.log"), std::ios::app) << "1 5 DOWN    \r\n";
    WriteWholeFile(dir.Path("planted/2026_9.log"), "1 0 UP\r\n");
    ASSERT_EQ(truncate(dir.Path("planted/2026_9.log").c_str(), report::MostLogBytes - 14), 0);
    std::ofstream(dir.Path("planted/2026_9.log"), std::ios::app) << "1 5 DOWN    \r\n";
    std::filesystem::create_symlink("../secret/PowerOFF.txt", dir.Path("planted/PowerOFF.txt"));
    // A name of 60 characters, too long for the pages' columns.
    const std::string longName = "WorkstationAccounting-MachineRoomWest-Rack07-Unit12-Floor-03";
    for (const char* folder : {"=1+2", "x\x1B[2J\xC2\x9B\x9B\xC3\xA9", longName.c_str()}) {
        mkdir(dir.Path(folder).c_str(), 0755);
        WriteWholeFile(dir.Path(folder) + "/2026_1.log", log);
    }
    // Outputs where others may write: a sticky folder open to all, with
    // nobody's links to a file only root may read, to a device and to a
    // folder, and root's link to one of them; a folder others may not write, with a file they
    // may; a FIFO no one reads; a folder reached through a link.
    WriteWholeFile(dir.Path("shadow"), "secret\n");
    chmod(dir.Path("shadow").c_str(), 0600);
    chmod(dir.Path("target").c_str(), 0640);
    mkdir(dir.Path("share").c_str(), 0755);
    chmod(dir.Path("share").c_str(), 01777);
    for (const char* planted :
         {"ln -s ../shadow share/verdimoor.prom", "ln -s ../full share/device", "ln -s .. share/up"})
        ASSERT_EQ(
            std::system(("cd '" + dir.Path() + "' && setpriv --reuid=nobody --regid=nogroup --clear-groups " + planted)
                            .c_str()),
            0);
    std::filesystem::create_symlink("share/verdimoor.prom", dir.Path("chain"));
    mkdir(dir.Path("wdir").c_str(), 0755);
    WriteWholeFile(dir.Path("wdir/out.txt"), "");
    chmod(dir.Path("wdir/out.txt").c_str(), 0666);
    ASSERT_EQ(mkfifo(dir.Path("lonely").c_str(), 0666), 0);
    for (const char* folder : {"two", "two/d"})
        mkdir(dir.Path(folder).c_str(), 0755);
    std::filesystem::create_symlink("d", dir.Path("two/dl"));
    const std::string row = "'=1+2,2026-01-01T00:00,2026-01-01T00:05,5,down,2026_1.log,1";
    const std::string nobody = "setpriv --reuid=nobody --regid=nogroup --clear-groups";
    const struct {
        std::string Arguments;
        int Code;
        std::string Line;
        std::string RunAs = "";
    } cases[] = {
        {"--fleet fleet fleet fleet/siteA", 0,
         "3 machines: 0 crashes, 0 missed power-offs, 0.0 hours past the schedule"},
        {"--fleet --csv fleet", 2, "siteB/locked,,,,,,,,,,,,,Permission denied,,", nobody},
        {"--fleet fleet", 2,
         "siteB/locked  -            -        -            -       -              -             -  -           "
         "      unreadable  -                 -      -                      -  Permission denied",
         nobody},
        {"--fleet --csv fleet", 2, "verdimoor-report: error: 'fleet/siteB/locked': Permission denied", nobody},
        {"--fleet 'fleet/siteB/*/*'", 2, "verdimoor-report: error: 'fleet/siteB/*/*': no folder matches", nobody},
        {"'fleet/siteB/locked/*'", 2, "verdimoor-report: error: 'fleet/siteB/locked': Permission denied", nobody},
        {"--csv 'fleet/*/lab-0?'", 0, "fleet/siteB/lab-01,2026-01-01T00:00,2026-01-01T00:05,5,down,2026_1.log,1"},
        {"--openmetrics fleet/siteA/lab-01 fleet/siteB/lab-01", 0, "verdimoor_running{machine=\"siteB/lab-01\"} 0"},
        {"secret", 2, "secret/2026_1.log: cannot be opened: Permission denied", nobody},
        {"secret", 2, "secret/PowerOFF.txt: cannot be opened, so no schedule: Permission denied", nobody},
        {"secret", 2, "  Incomplete        PowerOFF.txt: cannot be opened: Permission denied", nobody},
        {"--schedule none --fleet --csv secret", 2,
         "secret,none,0,0,0,,,0,,,0,none,1,2026_1.log: cannot be opened: Permission denied,,", nobody},
        {"--schedule none --fleet secret", 2,
         "secret   none         0        0            0       -              -             -  -          off  -      - "
         " "
         "    none                   1  2026_1.log: cannot be opened: Permission denied",
         nobody},
        {"--schedule none --json secret", 2,
         "        \"incomplete\": \"2026_1.log: cannot be opened: Permission denied\"", nobody},
        {"planted", 2, "planted/2026_12.log: cannot be opened: a symbolic link, not followed"},
        {"planted", 2, "planted/2026_11.log: cannot be opened: not a regular file"},
        {"planted", 2,
         "planted/2026_10.log: longer than the 2147483648 bytes the service writes at most: the rest is not read"},
        {"--csv planted", 2, "planted,2026-10-01T00:00,2026-10-01T00:00,0,unknown,2026_10.log,1"},
        {"--csv planted", 2, "planted,2026-09-01T00:00,2026-09-01T00:05,5,down,2026_9.log,1"},
        {"planted", 2, "planted/PowerOFF.txt: cannot be opened, so no schedule: a symbolic link, not followed"},
        {"--csv --output fifo =1+2 && cat <&" + std::to_string(fifo), 0, row},
        {"--csv --output link =1+2 && cat target", 0, row},
        {"--csv --output - =1+2", 0, row},
        {"--csv --output /dev/stdout =1+2", 0, row},
        {"--csv --output new.csv =1+2 && cat new.csv", 0, row},
        {"--openmetrics --output share/verdimoor.prom =1+2", 1,
         "verdimoor-report: error: 'share/verdimoor.prom': a symbolic link of user 65534, not followed"},
        {"--output share/device =1+2", 1,
         "verdimoor-report: error: 'share/device': a symbolic link of user 65534, not followed"},
        {"--output chain =1+2", 1,
         "verdimoor-report: error: 'chain': 'share/verdimoor.prom' is a symbolic link of user 65534, not followed"},
        {"--output share/up/shadow =1+2", 1,
         "verdimoor-report: error: 'share/up/shadow': 'share/up' is a symbolic link of user 65534, not followed"},
        {"--csv --output two/dl/y.csv =1+2 && cat two/d/y.csv", 0, row},
        {"--output wdir/out.txt =1+2", 1,
         "verdimoor-report: error: 'wdir/out.txt': cannot create a temporary file in wdir: Permission denied", nobody},
        {"--output lonely =1+2", 1, "verdimoor-report: error: 'lonely': cannot write: nothing reads the FIFO",
         "timeout 20"},
        {"--csv --output big.csv months", 1, "verdimoor-report: error: 'big.csv': cannot write: File too large",
         "ulimit -f 1;"},
        {"--output full =1+2", 1, "verdimoor-report: error: 'full': cannot write: No space left on device"},
        {"=1+2 >/dev/full", 1, "verdimoor-report: error: standard output: cannot write: No space left on device"},
        {"--svg x.svg --html ./x.svg =1+2", 2, "verdimoor-report: error: './x.svg': --svg and --html name one file"},
        {"--svg two/d/x.svg --html two/dl/x.svg =1+2", 2,
         "verdimoor-report: error: 'two/dl/x.svg': --svg and --html name one file"},
        {"--svg - --csv =1+2", 2, "verdimoor-report: error: '-': --svg and the printed output name one file"},
        {"--svg - --now 9999-12-31T23:00 far", 0,
         "<text x=\"12.0\" y=\"1262.0\" font-size=\"12\">No runs in the 815 months from February 1970 to December "
         "2037.</text>"},
        {"--fleet --html - --since 1000-01-01 --until 9999-12-31 far", 0,
         "<p>Each day from 9998-12-31 to 9999-12-31, as its scheduled power-off saw it.</p>"},
        {"--svg - months", 0,
         "<text x=\"12.0\" y=\"120.0\" font-size=\"12\">10 older months with runs left out: the newest 240 are "
         "drawn.</text>"},
        {"junk", 0, "junk/2026_1.log: 29900 more warnings not shown"},
        {"--json junk", 0, "        \"warnings\": 30000,"},
        {"--csv =1+2", 0, row},
        {"--svg - W*", 0,
         "<text x=\"12.0\" y=\"22.0\" font-size=\"18\" font-weight=\"bold\">Verdimoor uptime: "
         "WorkstationAccounting-MachineRoomWest-Rack07-Unit1\u2026<title>Verdimoor uptime: " +
             longName + "</title></text>"},
        {"--fleet --html - W*", 0,
         "<g class=\"strip\"><text x=\"0\" y=\"46\" font-size=\"12\">WorkstationAccounting-Machi\u2026<title>" +
             longName + "</title></text>"},
        {"--fleet --csv --machine @a --now 2026-01-02T00:00 =1+2", 0,
         "'@a,,1,0,0,,,5,0.003472222222222222,2026-01-01T00:05,0,none,0,,down,2026-01-01T00:05"},
        {"--machine a --machine b =1+2", 2, "verdimoor-report: error: '--machine': more names than folders"},
        {"x*", 0, "x?[2J??\xC3\xA9"},
        {"--fleet --now 2026-01-01T00:05 x*", 0,
         "x?[2J??\xC3\xA9  -            1        0            0       -              -       100.00%  "
         "2026-01-01 00:05  off  2026-01-01 00:05  down   none                   0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Arguments);
        Result result = RunReport(dir, c.Arguments, REPORT_BINARY, c.RunAs);
        EXPECT_EQ(result.Code, c.Code);
        EXPECT_TRUE(("\n" + result.Out + result.Err).find("\n" + c.Line + "\n") != std::string::npos)
            << result.Out << result.Err;
    }
    close(fifo);
    struct stat status;
    EXPECT_TRUE(stat(dir.Path("full").c_str(), &status) == 0 && S_ISCHR(status.st_mode));
    EXPECT_TRUE(stat(dir.Path("fifo").c_str(), &status) == 0 && S_ISFIFO(status.st_mode));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.Path("link")));
    // A replaced file keeps its mode; a new one is 0644 less the umask.
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_TRUE(stat(dir.Path("target").c_str(), &status) == 0 && (status.st_mode & 0777) == 0640);
    EXPECT_TRUE(stat(dir.Path("new.csv").c_str(), &status) == 0 && (status.st_mode & 0777) == (0644 & ~mask));
    EXPECT_EQ(ReadWholeFile(dir.Path("shadow")), "secret\n");
    EXPECT_TRUE(stat(dir.Path("shadow").c_str(), &status) == 0 && (status.st_mode & 0777) == 0600);
    EXPECT_FALSE(std::filesystem::exists(dir.Path("two/d/x.svg")));
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        EXPECT_TRUE(entry.is_directory() || entry.path().filename().string().find_first_of(".-") != 0) << entry.path();
}

// Whether the process has a file open in the folder that is not yet the
// output: one without a name, or with a temporary one.
bool WritesInto(pid_t pid, const std::string& folder)
{
    std::error_code ignored;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ignored)) {
        std::string file = std::filesystem::read_symlink(fd.path(), ignored).string();
        if (file.rfind(folder, 0) == 0 &&
            (file.find(" (deleted)") != std::string::npos || file.find(".tmp") != std::string::npos))
            return true;
    }
    return false;
}

// Ended by a signal while it writes its outputs, it leaves no temporary
// file behind, and dies of the signal as it would have: whatever the
// signal, SIGKILL too, and whatever the output.
TEST(OutputFile, NothingLeftOnInterrupt)
{
    TempDir dir;
    std::string log;
    for (int i = 0; i < 300000; i++)
        log += "1 0 UP\r\n1 1 DOWN    \r\n";
    WriteWholeFile(dir.Path("2026_1.log"), log);
    // SIGQUIT's core would be left too.
    struct rlimit core;
    getrlimit(RLIMIT_CORE, &core);
    struct rlimit none = {0, core.rlim_max};
    setrlimit(RLIMIT_CORE, &none);
    const struct {
        int Signal;
        std::vector<const char*> Options;
    } cases[] = {
        {SIGINT, {"--csv", "--output"}},
        {SIGTERM, {"--json", "--output"}},
        {SIGHUP, {"--table", "--output"}},
        {SIGQUIT, {"--csv", "--output"}},
        {SIGPIPE, {"--csv", "--output"}},
        {SIGUSR1, {"--svg"}},
        {SIGUSR2, {"--html"}},
        {SIGALRM, {"--csv", "--output"}},
        {SIGKILL, {"--svg"}},
    };
    for (const auto& c : cases) {
        std::vector<const char*> arguments = {REPORT_BINARY};
        arguments.insert(arguments.end(), c.Options.begin(), c.Options.end());
        for (const char* more : {"runs.out", ".", static_cast<const char*>(nullptr)})
            arguments.push_back(more);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        InFolder in(dir);
        pid_t pid;
        ASSERT_EQ(posix_spawn(&pid, REPORT_BINARY, &actions, nullptr, const_cast<char**>(arguments.data()), environ),
                  0);
        posix_spawn_file_actions_destroy(&actions);
        bool begun = false;
        int status = 0;
        pid_t ended = 0;
        while (!begun && (ended = waitpid(pid, &status, WNOHANG)) == 0) {
            begun = WritesInto(pid, dir.Path());
            usleep(1000);
        }
        if (ended == 0) {
            kill(pid, c.Signal);
            waitpid(pid, &status, 0);
        }
        EXPECT_TRUE(begun && WIFSIGNALED(status) && WTERMSIG(status) == c.Signal) << c.Signal;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1) << c.Signal;
    }
    setrlimit(RLIMIT_CORE, &core);
}

// PowerOFF.txt means to the report what it means to the service: a time the
// clock never shows is no schedule, and without the file there is nothing to
// answer for; nor with one that cannot be read, which says so. What else the
// text holds is said in the service's words.
TEST(FolderSchedule, FromPowerOffFileOrTheOption)
{
    const struct {
        const char* Content;  // nullptr: no file; "/": a folder; "@": a link to "22 30"; "|": a FIFO
        bool Known;
        std::optional<int> Minute;
        const char* Problem = "";
        const char* Note = "";
    } cases[] = {
        {"22 30", true, 1350},
        {"08 30", true, 8, "", "has \"30\" after the time, read as 00:08"},
        {"0x16 30", true, 1350},
        {"", true, 0, "", "is empty, read as 00:00"},
        {"24 0", true, {}},
        {"7 60", true, {}},
        {"-1 5", true, {}},
        {"none\r\n", true, 0, "", "begins with \"none\", read as 00:00"},
        {"10pm", true, 600, "", "has \"pm\" after the time, read as 10:00"},
        {"22:30 daily", true, 1350, "", "has \"daily\" after the time, read as 22:30"},
        {nullptr, false, {}},
        {"/", false, {}, "not a regular file"},
        {"@", false, {}, "a symbolic link, not followed"},
        {"|", false, {}, "not a regular file"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        WriteWholeFile(dir.Path("schedule"), "22 30");
        if (c.Content != nullptr && std::string(c.Content) == "/")
            mkdir(dir.Path("PowerOFF.txt").c_str(), 0755);
        else if (c.Content != nullptr && std::string(c.Content) == "@")
            std::filesystem::create_symlink("schedule", dir.Path("PowerOFF.txt"));
        else if (c.Content != nullptr && std::string(c.Content) == "|")
            ASSERT_EQ(mkfifo(dir.Path("PowerOFF.txt").c_str(), 0666), 0);
        else if (c.Content != nullptr)
            WriteWholeFile(dir.Path("PowerOFF.txt"), c.Content);
        std::string problem;
        std::string note;
        report::PowerOffSchedule schedule = report::ReadFolderSchedule(dir.Path(), problem, note);
        EXPECT_EQ(schedule.Known, c.Known) << (c.Content ? c.Content : "no file");
        EXPECT_EQ(schedule.Minute, c.Minute) << (c.Content ? c.Content : "no file");
        EXPECT_EQ(problem, c.Problem) << (c.Content ? c.Content : "no file");
        EXPECT_EQ(note, c.Note) << (c.Content ? c.Content : "no file");
    }
    for (const char* wrong : {"24:00", "7:5", "7:60", "x", "", ":30", "123:00", "-1:00", "08 30", "22 09", "24 0",
                              "22 60", "22", " 22 30", "22 30 x", "0x16 30"})
        EXPECT_FALSE(report::ParseScheduleOption(wrong)) << wrong;
    const struct {
        const char* Text;
        std::optional<int> Minute;
    } right[] = {{"7:05", 425}, {"22 30", 1350}, {"22\t 5", 1325}, {"07 07", 427}, {"0 0", 0}, {"none", {}}};
    for (const auto& c : right)
        EXPECT_EQ(report::ParseScheduleOption(c.Text)->Minute, c.Minute) << c.Text;
}

TEST(OutputFile, ReplacesTheFileInOneStepAndLeavesNothingBehind)
{
    TempDir folder;
    WriteWholeFile(folder.Path("verdimoor.prom"), "old\n");
    auto printNew = [](std::ostream& out) { out << "new\n"; };
    std::string error;
    ASSERT_TRUE(report::WriteOutput(folder.Path("verdimoor.prom"), printNew, error)) << error;
    EXPECT_EQ(ReadWholeFile(folder.Path("verdimoor.prom")), "new\n");
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.Path()))
        ++files;
    EXPECT_EQ(files, 1);

    // A name no code page holds, as Windows would lose through a narrow string.
    std::string wide = folder.Path() + "Z\u00FCrich \u65E5.prom";
    ASSERT_TRUE(report::WriteOutput(wide, printNew, error)) << error;
    EXPECT_EQ(std::filesystem::file_size(report::PathOf(wide)), 4u);

    EXPECT_FALSE(report::WriteOutput(folder.Path("missing/verdimoor.prom"), printNew, error));
    EXPECT_FALSE(error.empty());
}

// A metrics file is never replaced from a partial read, so that no counter
// drops because a log was locked: read as nobody, one log is unreadable.
TEST(ReportProgram, MetricsFileKeptWhenALogCannotBeRead)
{
    struct {
        const char* Locked;
        const char* Warning;
    } cases[] = {
        {"2026_12.log", "logs/2026_12.log: cannot be opened: Permission denied\n"},
        // No schedule would drop the power-off counters.
        {"PowerOFF.txt", "logs/PowerOFF.txt: cannot be opened, so no schedule: Permission denied\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Locked);
        TempDir dir;
        mkdir(dir.Path("logs").c_str(), 0755);
        mkdir(dir.Path("out").c_str(), 0777);
        chmod(dir.Path("out").c_str(), 0777);
        chmod(dir.Path().c_str(), 0755);
        WriteWholeFile(dir.Path("logs/2026_11.log"), "1 480 UP\r\n1 1350 DOWN    \r\n");
        WriteWholeFile(dir.Path("logs/2026_12.log"), "1 480 UP\r\n1 1350 DOWN    \r\n");
        WriteScheduleFile(dir.Path("logs/PowerOFF.txt"), "22 30\r\n");
        chmod(dir.Path("logs/" + std::string(c.Locked)).c_str(), 0);
        WriteWholeFile(dir.Path("out/verdimoor.prom"), "before\n");
        Result result = RunReport(dir,
                                  "--reuid=65534 --regid=65534 --clear-groups '" + std::string(REPORT_BINARY) +
                                      "' --now 2026-12-02T00:00 --openmetrics --output out/verdimoor.prom logs",
                                  "/usr/bin/setpriv");
        EXPECT_EQ(result.Code, 2);
        EXPECT_EQ(result.Err, std::string(c.Warning) +
                                  "verdimoor-report: error: 'out/verdimoor.prom': left as it was: 'logs' could not be "
                                  "read whole\n");
        EXPECT_EQ(ReadWholeFile(dir.Path("out/verdimoor.prom")), "before\n");
    }
}

// With no folder given it reads the folder that holds it.
TEST(ReportProgram, ReadsItsOwnFolderByDefault)
{
    TempDir dir;
    WriteWholeFile(dir.Path("verdimoor-report"), ReadWholeFile(REPORT_BINARY));
    chmod(dir.Path("verdimoor-report").c_str(), 0755);
    WriteWholeFile(dir.Path("2026_1.log"), "1 0 UP\n1 5 DOWN    \n");
    TempDir elsewhere;
    Result result = RunReport(elsewhere, "--csv", dir.Path("verdimoor-report"));
    std::string folder = dir.Path().substr(0, dir.Path().size() - 1);
    EXPECT_EQ(result.Code, 0);
    EXPECT_EQ(result.Out, "folder,start,end,minutes,ended,file,line\n" + folder +
                              ",2026-01-01T00:00,2026-01-01T00:05,5,down,2026_1.log,1\n");
    // Run from a folder without logs, such as the one it was built in, it
    // says what it looked for.
    std::filesystem::remove(dir.Path("2026_1.log"));
    mkdir(dir.Path("CMakeFiles").c_str(), 0755);
    result = RunReport(elsewhere, "--now 2026-12-01T00:00", dir.Path("verdimoor-report"));
    EXPECT_EQ(result.Code, 0);
    EXPECT_EQ(result.Out, folder + "\n  Now               no runs\n  Runs              0\n  Warnings          1\n");
    EXPECT_EQ(result.Err, folder + ": no logs: the service names them as 2026_3.log and 2026_12.log, one a month\n");
}

}  // namespace
