// SPDX-License-Identifier: Apache-2.0
// The JSON printer: each folder's summary, runs and warnings; the ranked
// runs; for the fleet, the summaries alone.
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

// With a schedule, the summary answers for the power-offs before its warnings;
// a machine not read whole says why after them, and a schedule that did not
// judge every run from when it did, last.
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
    std::optional<std::string_view> state = StateName(totals);
    summary["state"] = state ? Json(*state) : Json(nullptr);
    summary["state_since"] = MomentOrNull(totals.StateSince);
    summary["newest_run_ended"] = totals.NewestEnded ? Json(EndName(*totals.NewestEnded)) : Json(nullptr);
    if (!machine.Incomplete.empty())
        summary["incomplete"] = machine.Incomplete;
    if (totals.ScheduleJudgedFrom)
        summary["schedule_judged_from"] = FormatMoment(*totals.ScheduleJudgedFrom);
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

void Indent(std::ostream& out, int spaces)
{
    static constexpr std::string_view Spaces = "                ";
    out << Spaces.substr(0, static_cast<size_t>(spaces));
}

// A value as Dump writes it where its first line starts indent spaces in:
// its other lines are indented by as much more.
void Put(std::ostream& out, const Json& value, int indent)
{
    std::string text = value.dump(2, ' ', false, Json::error_handler_t::replace);
    size_t from = 0;
    for (size_t at; (at = text.find('\n', from)) != std::string::npos; from = at + 1) {
        out.write(text.data() + from, static_cast<std::streamsize>(at + 1 - from));
        Indent(out, indent);
    }
    out.write(text.data() + from, static_cast<std::streamsize>(text.size() - from));
}

// A list written an element at a time, as Dump writes it there.
template <typename Item, typename ToJson>
void PutList(std::ostream& out, const std::vector<Item>& items, int indent, ToJson toJson)
{
    if (items.empty()) {
        out << "[]";
        return;
    }
    out << "[\n";
    for (size_t i = 0; i < items.size(); i++) {
        if (i > 0)
            out << ",\n";
        Indent(out, indent + 2);
        Put(out, toJson(items[i]), indent + 2);
    }
    out << '\n';
    Indent(out, indent);
    out << ']';
}

// Each machine's entry written as it comes, a run at a time, rather than
// the document built whole: as Dump would write it.
class JsonStream final : public MachinePrinter {
public:
    explicit JsonStream(std::ostream& out) : Out(out) {}
    void Print(const MachineReport& machine) override
    {
        Out << (Printed++ > 0 ? ",\n" : "{\n  \"machines\": [\n") << "    {\n      \"folder\": ";
        Put(Out, machine.Folder, 6);
        Out << ",\n      \"summary\": ";
        Put(Out, SummaryJson(machine), 6);
        Out << ",\n      \"runs\": ";
        PutList(Out, machine.Runs, 6, [&](const Run& run) {
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
            return row;
        });
        Out << ",\n      \"warnings\": ";
        PutList(Out, machine.Warnings, 6, [](const Warning& warning) {
            return Json{{"file", warning.File}, {"line", warning.Line}, {"problem", warning.Problem}};
        });
        Out << "\n    }";
    }
    void Finish() override { Out << (Printed > 0 ? "\n  ]\n}\n" : "{\n  \"machines\": []\n}\n"); }

private:
    std::ostream& Out;
    size_t Printed = 0;
};

}  // namespace

std::unique_ptr<MachinePrinter> JsonPrinter(std::ostream& out)
{
    return std::make_unique<JsonStream>(out);
}

void PrintJson(std::ostream& out, const std::vector<MachineReport>& machines)
{
    JsonStream printer(out);
    for (const MachineReport& machine : machines)
        printer.Print(machine);
    printer.Finish();
}

namespace {

// A machine's list written as it comes, as JsonStream writes its entries;
// the fleet's as one document.
class JsonRuns final : public RunListPrinter {
public:
    JsonRuns(std::ostream& out, RunOrder order, size_t count, bool fleet)
        : RunListPrinter(order, count, fleet), Out(out), Fleet(fleet)
    {
    }

private:
    void List(const std::vector<RankedRun>& runs, const MachineReport* machine) override
    {
        Json list = Json::array();
        for (const RankedRun& ranked : runs) {
            const Run& run = ranked.Of;
            Json row = {{"rank", ranked.Rank}};
            if (machine == nullptr) {
                row["machine"] = ranked.Machine;
                row["folder"] = ranked.Folder;
            }
            row["start"] = FormatMoment(run.Start);
            row["end"] = FormatMoment(run.End);
            row["minutes"] = run.Minutes;
            row["ended"] = EndName(run.Ended);
            row["file"] = run.File;
            row["line"] = run.Line;
            list.push_back(std::move(row));
        }
        if (machine == nullptr) {
            Json document;
            document["runs"] = std::move(list);
            Out << document.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
            return;
        }
        Out << (Printed++ > 0 ? ",\n" : "{\n  \"machines\": [\n") << "    ";
        Put(Out, Json{{"folder", machine->Folder}, {"runs", std::move(list)}}, 4);
    }
    void End() override
    {
        if (!Fleet)
            Out << (Printed > 0 ? "\n  ]\n}\n" : "{\n  \"machines\": []\n}\n");
    }

    std::ostream& Out;
    bool Fleet;
    size_t Printed = 0;
};

}  // namespace

std::unique_ptr<MachinePrinter> JsonRunList(std::ostream& out, RunOrder order, size_t count, bool fleet)
{
    return std::make_unique<JsonRuns>(out, order, count, fleet);
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
