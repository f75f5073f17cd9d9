// SPDX-License-Identifier: Apache-2.0
// The printers: the metrics text, the JSON written in parts, and the
// escaping that keeps the picture and the metrics well-formed.
#include <sstream>

#include <nlohmann/json.hpp>

#include "report/core/text-forms.h"
#include "report/core/utf8.h"
#include "report/print/print.h"
#include "report/print/xml.h"
#include "tests/helpers.h"

namespace {

// A moment in the machine's zone as it is set now.
report::Moment At(const char* moment)
{
    report::LocalZone zone;
    return zone.MomentOf(*report::ParseMoment(moment));
}

TEST(OpenMetrics, WritesEveryFamilyWithItsMachineLabel)
{
    InZone utc("UTC");
    report::MachineReport alive;
    alive.Folder = "logs/alive";
    report::Summary& s = alive.Totals;
    s.Runs = 4, s.Down = 1, s.Pdown = 1, s.Crash = 1, s.Running = 1;
    s.FirstStart = At("2026-12-01T08:00"), s.LastStart = At("2026-12-04T08:00");
    s.LastEnd = At("2026-12-04T09:30");
    s.UptimeMinutes = 1500, s.DowntimeMinutes = 500, s.Availability = 0.75, s.Warnings = 2;
    s.LastPdownEnd = At("2026-12-01T17:00"), s.LastCrashEnd = At("2026-12-02T09:00");
    // Running, last seen 2 minutes ago: the uptime counter stops at the last
    // sign of life, for those minutes may yet turn out to be downtime.
    s.NewestEnded = report::RunEnd::Running, s.StateSince = s.LastStart, s.UnseenMinutes = 2;
    alive.Name = "host \"a\"\\b";
    report::MachineReport empty;
    empty.Folder = empty.Name = "empty";

    std::ostringstream out;
    report::PrintOpenMetrics(out, {alive, empty}, 2);
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
# HELP verdimoor_uptime_seconds_total Time the machine was up since its first run, up to the running run's last sign of life.
# TYPE verdimoor_uptime_seconds_total counter
verdimoor_uptime_seconds_total{machine="host \"a\"\\b"} 89880
verdimoor_uptime_seconds_total{machine="empty"} 0
# HELP verdimoor_downtime_seconds_total Time the machine was down since its first run: between runs and since the newest one ended.
# TYPE verdimoor_downtime_seconds_total counter
verdimoor_downtime_seconds_total{machine="host \"a\"\\b"} 30000
verdimoor_downtime_seconds_total{machine="empty"} 0
# HELP verdimoor_availability_ratio Uptime over the time since the first run; absent while that is zero.
# TYPE verdimoor_availability_ratio gauge
verdimoor_availability_ratio{machine="host \"a\"\\b"} 0.75
# HELP verdimoor_running 1 while the newest run is alive (its last sign of life is at most 2 minutes old), else 0.
# TYPE verdimoor_running gauge
verdimoor_running{machine="host \"a\"\\b"} 1
verdimoor_running{machine="empty"} 0
# HELP verdimoor_newest_run_ended 1 for how the newest run ended (running while it is alive), 0 for the other endings; absent without runs.
# TYPE verdimoor_newest_run_ended gauge
verdimoor_newest_run_ended{machine="host \"a\"\\b",ended="running"} 1
verdimoor_newest_run_ended{machine="host \"a\"\\b",ended="down"} 0
verdimoor_newest_run_ended{machine="host \"a\"\\b",ended="pdown"} 0
verdimoor_newest_run_ended{machine="host \"a\"\\b",ended="crash"} 0
verdimoor_newest_run_ended{machine="host \"a\"\\b",ended="unknown"} 0
# HELP verdimoor_state_since_timestamp_seconds When the machine came up (the running run's start) or went down (the newest run's end), as Unix time; absent when that end is unknown.
# TYPE verdimoor_state_since_timestamp_seconds gauge
verdimoor_state_since_timestamp_seconds{machine="host \"a\"\\b"} 1796371200
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

// The JSON, written a machine and a run at a time, is the document as
// nlohmann-json indents it whole, for no machine, one, or several.
TEST(Json, WrittenInPartsAsTheWholeDocument)
{
    InZone utc("UTC");
    report::MachineReport quiet;
    quiet.Folder = "quiet";
    report::MachineReport busy;
    busy.Folder = "b\xFFsy";  // not UTF-8
    busy.Schedule = {true, 1350};
    busy.Totals.Runs = 2, busy.Totals.Availability = 0.1;
    busy.Runs = {{At("2026-12-01T08:00"), At("2026-12-01T09:00"), 60, report::RunEnd::Down, "2026_12.log", 1},
                 {At("2026-12-02T08:00"), At("2026-12-02T08:00"), 0, report::RunEnd::Unknown, "2026_12.log", 3}};
    busy.Warnings = {{"2026_12.log", 2, "damaged line"}};
    const std::vector<std::vector<report::MachineReport>> cases = {{}, {quiet}, {busy}, {quiet, busy, quiet}};
    for (const auto& machines : cases) {
        std::ostringstream out;
        report::PrintJson(out, machines);
        nlohmann::ordered_json document = nlohmann::ordered_json::parse(out.str());
        EXPECT_EQ(out.str(), document.dump(2) + "\n");
        EXPECT_EQ(document["machines"].size(), machines.size());
        // So are the lists of --top, a machine's at a time.
        std::ostringstream top;
        auto printer = report::JsonRunList(top, report::RunOrder::Longest, 1, false);
        for (const report::MachineReport& machine : machines)
            printer->Print(machine);
        printer->Finish();
        document = nlohmann::ordered_json::parse(top.str());
        EXPECT_EQ(top.str(), document.dump(2) + "\n");
        EXPECT_EQ(document["machines"].size(), machines.size());
    }
}

// A name escaped for XML, and shown on a terminal: UTF-8 walked alike, the
// bytes that are none of it replaced in XML and kept on the terminal, but
// for those a terminal takes for C1.
TEST(XmlEscape, KeepsTheDocumentWellFormed)
{
    struct {
        const char* Text;
        const char* Escaped;
        const char* Shown;  // WithoutControls
    } cases[] = {
        {"C:\\Verdimoor & <logs> \"a\" 'b'", "C:\\Verdimoor &amp; &lt;logs&gt; &quot;a&quot; &apos;b&apos;",
         "C:\\Verdimoor & <logs> \"a\" 'b'"},
        {"M\xC3\xBCnchen \xE2\x82\xAC", "M\xC3\xBCnchen \xE2\x82\xAC", "M\xC3\xBCnchen \xE2\x82\xAC"},  // UTF-8 stays
        {"a\xFF"
         "b",
         "a\xEF\xBF\xBD"
         "b",
         "a\xFF"
         "b"},                                                                  // a byte that is no UTF-8
        {"cut \xC3", "cut \xEF\xBF\xBD", "cut \xC3"},                           // a sequence cut short
        {"bell\x07", "bell\xEF\xBF\xBD", "bell?"},                              // XML allows no control characters
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},           // four bytes stay
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD", "\xC0\xAF"},                   // an overlong form
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", "\xED\xA0?"},  // a surrogate
        // U+FFFE and U+FFFF are no characters of XML; U+FFFD and U+FFFC are.
        {"a\xEF\xBF\xBF"
         "b\xEF\xBF\xBE",
         "a\xEF\xBF\xBD"
         "b\xEF\xBF\xBD",
         "a\xEF\xBF\xBF"
         "b\xEF\xBF\xBE"},
        {"\xEF\xBF\xBD\xEF\xBF\xBC", "\xEF\xBF\xBD\xEF\xBF\xBC", "\xEF\xBF\xBD\xEF\xBF\xBC"},
        // ESC, DEL, C1's NEL, and a stray byte of C1's range: XML allows DEL
        // and NEL, a terminal none of them.
        {"\x1B[2J\x7F\xC2\x85\x9B", "\xEF\xBF\xBD[2J\x7F\xC2\x85\xEF\xBF\xBD", "?[2J???"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(report::XmlEscape(c.Text), c.Escaped) << c.Text;
        EXPECT_EQ(report::WithoutControls(c.Text), c.Shown) << c.Text;
    }
}

// A host or folder name in a code page other than UTF-8 must not make the
// collector reject the file: its stray bytes become U+FFFD. The help says
// how recent a run must be to be running.
TEST(OpenMetrics, LabelsAreUtf8)
{
    report::MachineReport machine;
    machine.Folder = "logs";
    std::ostringstream out;
    machine.Name = "M\xFCnchen \xC3\xA9";
    report::PrintOpenMetrics(out, {machine}, 1);
    EXPECT_NE(out.str().find("{machine=\"M\xEF\xBF\xBDnchen \xC3\xA9\",ended=\"down\"} 0"), std::string::npos)
        << out.str();
    EXPECT_EQ(out.str().find('\xFC'), std::string::npos);
    EXPECT_NE(out.str().find("# HELP verdimoor_running 1 while the newest run is alive (its last sign of life is at "
                             "most 1 minute old), else 0.\n"),
              std::string::npos)
        << out.str();
}

}  // namespace
