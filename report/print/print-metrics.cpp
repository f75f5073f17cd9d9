// SPDX-License-Identifier: Apache-2.0
// The metrics printer: the summaries in the Prometheus text exposition
// format, for the textfile collectors of node_exporter and windows_exporter.
//
// Counters count what the logs hold (the finished runs, the minutes up and
// down), so that they only grow while the logs do; the state of now is in
// gauges.
#include <cstdio>

#include "report/core/calendar.h"
#include "report/core/text-forms.h"
#include "report/core/utf8.h"
#include "report/print/print.h"

namespace report {
namespace {

// A label value must be UTF-8, or the collector rejects the whole file:
// bytes that are not become U+FFFD.
std::string LabelValue(std::string_view value)
{
    return RewriteCharacters(value, [](std::string_view character, bool wellFormed) -> std::string_view {
        switch (character[0]) {
        case '\\': return "\\\\";
        case '"': return "\\\"";
        case '\n': return "\\n";
        default: return wellFormed ? character : Utf8Replacement;
        }
    });
}

std::string Value(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

class Exposition {
public:
    Exposition(std::ostream& out, const std::vector<MachineReport>& machines) : out_(out), machines_(machines) {}

    // One family: its HELP and TYPE lines, then a sample per machine that has a value.
    template <typename ValueOf> void Family(const char* name, const char* type, const char* help, ValueOf valueOf)
    {
        out_ << "# HELP " << name << " " << help << "\n# TYPE " << name << " " << type << "\n";
        for (size_t i = 0; i < machines_.size(); ++i)
            if (std::optional<double> value = valueOf(machines_[i]))
                out_ << name << "{machine=\"" << LabelValue(Name(i)) << "\"} " << Value(*value) << "\n";
    }

    void Runs()
    {
        const char* name = "verdimoor_runs_total";
        out_ << "# HELP " << name
             << " Finished runs in the logs, by how they ended: down (clean stop), pdown (scheduled"
                " power-off), crash, unknown (no closing record).\n# TYPE "
             << name << " counter\n";
        for (size_t i = 0; i < machines_.size(); ++i) {
            const Summary& s = machines_[i].Totals;
            std::pair<const char*, int64_t> counts[] = {
                {"down", s.Down}, {"pdown", s.Pdown}, {"crash", s.Crash}, {"unknown", s.Unknown}};
            for (auto [ended, count] : counts)
                out_ << name << "{machine=\"" << LabelValue(Name(i)) << "\",ended=\"" << ended << "\"} " << count
                     << "\n";
        }
    }

    // 1 for the way the newest run ended, or "running", and 0 for the others.
    void Ended()
    {
        const char* name = "verdimoor_newest_run_ended";
        out_ << "# HELP " << name
             << " 1 for how the newest run ended (running while it is alive), 0 for the other endings; absent "
                "without runs.\n# TYPE "
             << name << " gauge\n";
        for (size_t i = 0; i < machines_.size(); ++i) {
            const std::optional<RunEnd>& newest = machines_[i].Totals.NewestEnded;
            if (!newest)
                continue;
            for (RunEnd ended : {RunEnd::Running, RunEnd::Down, RunEnd::Pdown, RunEnd::Crash, RunEnd::Unknown})
                out_ << name << "{machine=\"" << LabelValue(Name(i)) << "\",ended=\"" << EndName(ended) << "\"} "
                     << (ended == *newest ? 1 : 0) << "\n";
        }
    }

private:
    const std::string& Name(size_t i) const { return machines_[i].Name; }

    std::ostream& out_;
    const std::vector<MachineReport>& machines_;
};

std::optional<double> Timestamp(const std::optional<Moment>& moment)
{
    if (!moment)
        return std::nullopt;
    return static_cast<double>(moment->Instant * 60);
}

}  // namespace

void PrintOpenMetrics(std::ostream& out, const std::vector<MachineReport>& machines, int runningWithin)
{
    Exposition metrics(out, machines);
    metrics.Runs();
    // Up to the running run's last sign of life, and down after it only once
    // it is no longer running: the minutes between may yet turn out to be
    // either, and a counter must never drop.
    metrics.Family("verdimoor_uptime_seconds_total", "counter",
                   "Time the machine was up since its first run, up to the running run's last sign of life.",
                   [](const MachineReport& m) -> std::optional<double> {
                       return static_cast<double>(m.Totals.UptimeMinutes - m.Totals.UnseenMinutes) * 60;
                   });
    metrics.Family("verdimoor_downtime_seconds_total", "counter",
                   "Time the machine was down since its first run: between runs and since the newest one ended.",
                   [](const MachineReport& m) -> std::optional<double> { return m.Totals.DowntimeMinutes * 60.0; });
    metrics.Family("verdimoor_availability_ratio", "gauge",
                   "Uptime over the time since the first run; absent while that is zero.",
                   [](const MachineReport& m) { return m.Totals.Availability; });
    std::string running = "1 while the newest run is alive (its last sign of life is at most " +
                          FormatCount(runningWithin, "minute", "minutes") + " old), else 0.";
    metrics.Family("verdimoor_running", "gauge", running.c_str(), [](const MachineReport& m) -> std::optional<double> {
        return m.Totals.NewestEnded == RunEnd::Running;
    });
    metrics.Ended();
    metrics.Family("verdimoor_state_since_timestamp_seconds", "gauge",
                   "When the machine came up (the running run's start) or went down (the newest run's end), as Unix "
                   "time; absent when that end is unknown.",
                   [](const MachineReport& m) { return Timestamp(m.Totals.StateSince); });
    metrics.Family("verdimoor_last_start_timestamp_seconds", "gauge", "Start of the newest run, as Unix time.",
                   [](const MachineReport& m) { return Timestamp(m.Totals.LastStart); });
    metrics.Family("verdimoor_last_seen_timestamp_seconds", "gauge",
                   "The newest run's last sign of life, as Unix time.",
                   [](const MachineReport& m) { return Timestamp(m.Totals.LastEnd); });
    metrics.Family("verdimoor_last_crash_timestamp_seconds", "gauge",
                   "Last sign of life of the newest crashed run, as Unix time.",
                   [](const MachineReport& m) { return Timestamp(m.Totals.LastCrashEnd); });
    metrics.Family("verdimoor_last_pdown_timestamp_seconds", "gauge",
                   "The newest scheduled power-off request, as Unix time.",
                   [](const MachineReport& m) { return Timestamp(m.Totals.LastPdownEnd); });
    bool scheduled = false;
    for (const MachineReport& machine : machines)
        scheduled = scheduled || machine.Schedule.Known;
    if (scheduled) {
        // Taken over every run, the one still going too: a run only ever
        // misses more as it goes on.
        auto known = [](const MachineReport& m, int64_t value) -> std::optional<double> {
            if (!m.Schedule.Known)
                return std::nullopt;
            return static_cast<double>(value);
        };
        metrics.Family("verdimoor_poweroffs_missed_total", "counter",
                       "Scheduled power-offs the machine stayed on through, 2 minutes or more, over all runs.",
                       [&known](const MachineReport& m) { return known(m, m.Totals.PoweroffsMissed); });
        metrics.Family("verdimoor_past_schedule_seconds_total", "counter",
                       "Time the machine was up past the first scheduled power-off each run missed.",
                       [&known](const MachineReport& m) { return known(m, m.Totals.MinutesPastSchedule * 60); });
        metrics.Family("verdimoor_last_poweroff_missed", "gauge",
                       "1 when the machine was still on 2 minutes after the newest scheduled power-off, else 0.",
                       [&known](const MachineReport& m) {
                           return known(m, m.Totals.LastPowerOffAnswer == LastPowerOff::Missed ? 1 : 0);
                       });
        metrics.Family("verdimoor_poweroff_minute_of_day", "gauge",
                       "The scheduled power-off's minute of the day (hour * 60 + minute); absent without one.",
                       [](const MachineReport& m) -> std::optional<double> {
                           if (!m.Schedule.Minute)
                               return std::nullopt;
                           return *m.Schedule.Minute;
                       });
    }
    metrics.Family(
        "verdimoor_log_warnings", "gauge", "Damaged or out-of-place lines skipped in the logs.",
        [](const MachineReport& m) -> std::optional<double> { return static_cast<double>(m.Totals.Warnings); });
}

}  // namespace report
