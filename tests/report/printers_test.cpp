// SPDX-License-Identifier: Apache-2.0
// The metrics text, the Unix times in it, the atomic output file and the
// escaping that keeps the picture well-formed.
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <sstream>

#include "report/moments.h"
#include "report/output.h"
#include "report/print.h"
#include "report/xml.h"
#include "tests/helpers.h"

namespace {

using namespace std::chrono;
using report::LocalMinute;

LocalMinute At(int y, unsigned m, unsigned d, int hour, int minute)
{
    return local_days{year{y} / m / d} + hours{hour} + minutes{minute};
}

// The machine's time zone for the test's lifetime.
class InZone {
public:
    explicit InZone(const char* zone)
    {
        setenv("TZ", zone, 1);
        tzset();
    }
    ~InZone()
    {
        unsetenv("TZ");
        tzset();
    }
};

TEST(UnixSeconds, ReadsTheCivilTimeInTheMachinesZone)
{
    InZone berlin("Europe/Berlin");
    struct {
        LocalMinute Local;
        int64_t Unix;
    } cases[] = {
        {At(2026, 1, 1, 0, 0), 1767222000},    // winter: UTC+1
        {At(2026, 3, 29, 1, 59), 1774745940},  // the last minute before summer time
        {At(2026, 3, 29, 3, 0), 1774746000},   // the first minute of it: UTC+2
        {At(2026, 7, 1, 12, 30), 1782901800}, {At(2026, 10, 25, 3, 0), 1792893600},  // back on UTC+1
    };
    for (const auto& c : cases)
        EXPECT_EQ(report::UnixSeconds(c.Local), c.Unix) << c.Unix;
}

TEST(OpenMetrics, WritesEveryFamilyWithItsMachineLabel)
{
    InZone utc("UTC");
    report::MachineReport alive;
    alive.Folder = "logs/alive";
    report::Summary& s = alive.Totals;
    s.Runs = 4, s.Down = 1, s.Pdown = 1, s.Crash = 1, s.Running = 1;
    s.FirstStart = At(2026, 12, 1, 8, 0), s.LastStart = At(2026, 12, 4, 8, 0);
    s.LastEnd = At(2026, 12, 4, 9, 30);
    s.UptimeMinutes = 1500, s.DowntimeMinutes = 500, s.Availability = 0.75, s.Warnings = 2;
    s.LastPdownEnd = At(2026, 12, 1, 17, 0), s.LastCrashEnd = At(2026, 12, 2, 9, 0);
    alive.Name = "host \"a\"\\b";
    report::MachineReport empty;
    empty.Folder = "empty";

    std::ostringstream out;
    report::PrintOpenMetrics(out, {alive, empty});
    EXPECT_EQ(
        out.str(),
        R"(# HELP verdimoor_runs_total Finished runs in the logs, by how they ended: down (clean stop), pdown (scheduled power-off), crash, unknown (no closing record).
# TYPE verdimoor_runs_total counter
verdimoor_runs_total{machine="host \"a\"\\b",ended="down"} 1
verdimoor_runs_total{machine="host \"a\"\\b",ended="pdown"} 1
verdimoor_runs_total{machine="host \"a\"\\b",ended="crash"} 1
verdimoor_runs_total{machine="host \"a\"\\b",ended="unknown"} 0
verdimoor_runs_total{machine="empty",ended="down"} 0
verdimoor_runs_total{machine="empty",ended="pdown"} 0
verdimoor_runs_total{machine="empty",ended="crash"} 0
verdimoor_runs_total{machine="empty",ended="unknown"} 0
# HELP verdimoor_uptime_seconds_total Time the machine was up, summed over the runs.
# TYPE verdimoor_uptime_seconds_total counter
verdimoor_uptime_seconds_total{machine="host \"a\"\\b"} 90000
verdimoor_uptime_seconds_total{machine="empty"} 0
# HELP verdimoor_downtime_seconds_total Time the machine was down, summed over the gaps between runs.
# TYPE verdimoor_downtime_seconds_total counter
verdimoor_downtime_seconds_total{machine="host \"a\"\\b"} 30000
verdimoor_downtime_seconds_total{machine="empty"} 0
# HELP verdimoor_availability_ratio Uptime over uptime plus downtime; absent while both are zero.
# TYPE verdimoor_availability_ratio gauge
verdimoor_availability_ratio{machine="host \"a\"\\b"} 0.75
# HELP verdimoor_running 1 while the newest run is alive (its last sign of life is at most 2 minutes old), else 0.
# TYPE verdimoor_running gauge
verdimoor_running{machine="host \"a\"\\b"} 1
verdimoor_running{machine="empty"} 0
# HELP verdimoor_last_start_timestamp_seconds Start of the newest run, as Unix time.
# TYPE verdimoor_last_start_timestamp_seconds gauge
verdimoor_last_start_timestamp_seconds{machine="host \"a\"\\b"} 1796371200
# HELP verdimoor_last_seen_timestamp_seconds The newest run's last sign of life, as Unix time.
# TYPE verdimoor_last_seen_timestamp_seconds gauge
verdimoor_last_seen_timestamp_seconds{machine="host \"a\"\\b"} 1796376600
# HELP verdimoor_last_crash_timestamp_seconds Last sign of life of the newest crashed run, as Unix time.
# TYPE verdimoor_last_crash_timestamp_seconds gauge
verdimoor_last_crash_timestamp_seconds{machine="host \"a\"\\b"} 1796202000
# HELP verdimoor_last_pdown_timestamp_seconds The newest scheduled power-off request, as Unix time.
# TYPE verdimoor_last_pdown_timestamp_seconds gauge
verdimoor_last_pdown_timestamp_seconds{machine="host \"a\"\\b"} 1796144400
# HELP verdimoor_log_warnings Damaged or out-of-place lines skipped in the logs.
# TYPE verdimoor_log_warnings gauge
verdimoor_log_warnings{machine="host \"a\"\\b"} 2
verdimoor_log_warnings{machine="empty"} 0
)");
}

TEST(OutputFile, ReplacesTheFileInOneStepAndLeavesNothingBehind)
{
    TempDir folder;
    WriteWholeFile(folder.Path("verdimoor.prom"), "old\n");
    std::string error;
    ASSERT_TRUE(report::WriteOutputFile(folder.Path("verdimoor.prom"), "new\n", error)) << error;
    EXPECT_EQ(ReadWholeFile(folder.Path("verdimoor.prom")), "new\n");
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.Path()))
        ++files;
    EXPECT_EQ(files, 1);

    // A name no code page holds, as Windows would lose through a narrow string.
    std::filesystem::path wide = std::filesystem::path(folder.Path()) / u8"Z\u00FCrich \u65E5.prom";
    ASSERT_TRUE(report::WriteOutputFile(wide, "new\n", error)) << error;
    EXPECT_EQ(std::filesystem::file_size(wide), 4u);

    EXPECT_FALSE(report::WriteOutputFile(folder.Path("missing/verdimoor.prom"), "new\n", error));
    EXPECT_FALSE(error.empty());
}

TEST(XmlEscape, KeepsTheDocumentWellFormed)
{
    struct {
        const char* Text;
        const char* Escaped;
    } cases[] = {
        {"C:\\Verdimoor & <logs> \"a\" 'b'", "C:\\Verdimoor &amp; &lt;logs&gt; &quot;a&quot; &apos;b&apos;"},
        {"M\xC3\xBCnchen \xE2\x82\xAC", "M\xC3\xBCnchen \xE2\x82\xAC"},  // UTF-8 stays
        {"a\xFF"
         "b",
         "a\xEF\xBF\xBD"
         "b"},                                                     // a byte that is no UTF-8
        {"cut \xC3", "cut \xEF\xBF\xBD"},                          // a sequence cut short
        {"bell\x07", "bell\xEF\xBF\xBD"},                          // XML allows no control characters
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},                  // four bytes stay
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // an overlong form
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // a surrogate
    };
    for (const auto& c : cases)
        EXPECT_EQ(report::XmlEscape(c.Text), c.Escaped) << c.Text;
}

// A host or folder name in a code page other than UTF-8 must not make the
// collector reject the file: its stray bytes become U+FFFD.
TEST(OpenMetrics, LabelsAreUtf8)
{
    report::MachineReport machine;
    machine.Folder = "logs";
    std::ostringstream out;
    machine.Name = "M\xFCnchen \xC3\xA9";
    report::PrintOpenMetrics(out, {machine});
    EXPECT_NE(out.str().find("{machine=\"M\xEF\xBF\xBDnchen \xC3\xA9\",ended=\"down\"} 0"), std::string::npos)
        << out.str();
    EXPECT_EQ(out.str().find('\xFC'), std::string::npos);
}

}  // namespace
