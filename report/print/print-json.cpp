// SPDX-License-Identifier: Apache-2.0
// The JSON printer: each folder's summary, runs and warnings; for the fleet,
// the summaries alone.
#include <nlohmann/json.hpp>

#include "report/core/text-forms.h"
#include "report/print/print.h"

namespace report {

namespace {

using Json = nlohmann::ordered_json;

Json MomentOrNull(const std::optional<Moment>& moment)
{
    return moment ? Json(FormatMoment(*moment)) : Json(nullptr);
}

// With a schedule, the summary answers for the power-offs before its warnings.
Json SummaryJson(const MachineReport& machine)
{
    const Summary& totals = machine.Totals;
    Json summary;
    summary["runs"] = totals.Runs;
    summary["down"] = totals.Down;
    summary["pdown"] = totals.Pdown;
    summary["crash"] = totals.Crash;
    summary["unknown"] = totals.Unknown;
    summary["running"] = totals.Running;
    summary["first_start"] = MomentOrNull(totals.FirstStart);
    summary["last_end"] = MomentOrNull(totals.LastEnd);
    summary["uptime_minutes"] = totals.UptimeMinutes;
    summary["downtime_minutes"] = totals.DowntimeMinutes;
    summary["availability"] = totals.Availability ? Json(*totals.Availability) : Json(nullptr);
    summary["longest_run_minutes"] = totals.LongestRunMinutes;
    summary["longest_downtime_minutes"] = totals.LongestDowntimeMinutes;
    if (machine.Schedule.Known) {
        const std::optional<int>& minute = machine.Schedule.Minute;
        summary["schedule"] = minute ? Json(FormatTimeOfDay(*minute)) : Json(nullptr);
        summary["poweroffs_missed"] = totals.PoweroffsMissed;
        summary["minutes_past_schedule"] = totals.MinutesPastSchedule;
        summary["last_poweroff"] = LastPowerOffName(totals.LastPowerOffAnswer);
    }
    summary["warnings"] = totals.Warnings;
    return summary;
}

// {"machines": list}, indented. A folder's name that is not UTF-8 is printed
// with U+FFFD in place of the bytes that are not.
void Dump(std::ostream& out, Json list)
{
    Json document;
    document["machines"] = std::move(list);
    out << document.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

}  // namespace

void PrintJson(std::ostream& out, const std::vector<MachineReport>& machines)
{
    Json list = Json::array();
    for (const MachineReport& machine : machines) {
        Json entry;
        entry["folder"] = machine.Folder;
        entry["summary"] = SummaryJson(machine);
        Json runs = Json::array();
        for (const Run& run : machine.Runs) {
            Json row = {{"start", FormatMoment(run.Start)},
                        {"end", FormatMoment(run.End)},
                        {"minutes", run.Minutes},
                        {"ended", EndName(run.Ended)},
                        {"file", run.File},
                        {"line", run.Line}};
            if (machine.Schedule.Known) {
                row["missed"] = run.Missed;
                row["minutes_past_schedule"] = run.MinutesPastSchedule;
            }
            runs.push_back(std::move(row));
        }
        entry["runs"] = std::move(runs);
        Json warnings = Json::array();
        for (const Warning& warning : machine.Warnings)
            warnings.push_back({{"file", warning.File}, {"line", warning.Line}, {"problem", warning.Problem}});
        entry["warnings"] = std::move(warnings);
        list.push_back(std::move(entry));
    }
    Dump(out, std::move(list));
}

void PrintFleetJson(std::ostream& out, const std::vector<MachineReport>& machines)
{
    Json list = Json::array();
    for (const MachineReport& machine : machines) {
        Json entry = {{"folder", machine.Folder}, {"machine", machine.Name}};
        if (machine.Problem.empty())
            entry["summary"] = SummaryJson(machine);
        else
            entry["error"] = machine.Problem;
        list.push_back(std::move(entry));
    }
    Dump(out, std::move(list));
}

}  // namespace report
