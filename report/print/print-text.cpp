// SPDX-License-Identifier: Apache-2.0
// The text printer: the summary for people and, on request, a row per run.
#include "report/print/print.h"

#include <algorithm>
#include <cstdio>

#include "report/core/text-forms.h"
#include "report/core/utf8.h"
#include "report/print/fleet-table.h"

namespace report {

namespace {

void Row(std::ostream& out, const char* name, const std::string& value)
{
    char label[32];
    std::snprintf(label, sizeof label, "  %-18s", name);
    out << label << value << '\n';
}

// "22:30: 17 on schedule, 2 missed (13h 30m past the schedule)", and
// "22:30 since 2026-11-20 14:03: ..." when earlier runs were not judged.
std::string PowerOffLine(const MachineReport& machine)
{
    if (!machine.Schedule.Minute)
        return "none scheduled";
    const Summary& totals = machine.Totals;
    std::string line = FormatTimeOfDay(*machine.Schedule.Minute);
    if (totals.ScheduleJudgedFrom)
        line += " since " + FormatMomentForPeople(*totals.ScheduleJudgedFrom);
    line += ": " + std::to_string(totals.Pdown) + " on schedule, " + std::to_string(totals.PoweroffsMissed) + " missed";
    if (totals.PoweroffsMissed > 0)
        line += " (" + FormatDuration(totals.MinutesPastSchedule) + " past the schedule)";
    return line;
}

// "up since 2026-12-10 07:43 (6h 17m)", "down since 2026-12-03 22:30 (6d 16h
// 30m), after a crash": whatever the period.
std::string NowLine(const Summary& totals)
{
    if (!totals.NewestEnded)
        return "no runs";
    RunEnd ended = *totals.NewestEnded;
    if (!totals.StateSince)
        return "down; the newest run, from " + FormatMomentForPeople(*totals.NewestStart) + ", has no known end";
    std::string line = std::string(*StateName(totals)) + " since " + FormatMomentForPeople(*totals.StateSince) + " (" +
                       FormatDuration(totals.StateMinutes) + ")";
    switch (ended) {
    case RunEnd::Down: return line + ", after a clean stop";
    case RunEnd::Pdown: return line + ", after a scheduled power-off";
    case RunEnd::Crash: return line + ", after a crash";
    default: return line;
    }
}

void PrintSummary(std::ostream& out, const MachineReport& machine)
{
    const Summary& totals = machine.Totals;
    out << WithoutControls(machine.Folder) << '\n';
    if (!machine.Incomplete.empty())
        Row(out, "Incomplete", WithoutControls(machine.Incomplete));
    Row(out, "Now", NowLine(totals));
    if (totals.Runs == 0) {
        Row(out, "Runs", "0");
    } else {
        Row(out, "Runs",
            std::to_string(totals.Runs) + ", from " + FormatMomentForPeople(*totals.FirstStart) + " to " +
                FormatMomentForPeople(*totals.LastEnd));
        Row(out, "Ended",
            std::to_string(totals.Down) + " down, " + std::to_string(totals.Pdown) + " pdown, " +
                std::to_string(totals.Crash) + " crash, " + std::to_string(totals.Unknown) + " unknown, " +
                std::to_string(totals.Running) + " running");
    }
    // Over the period, which a machine off all of it has too.
    if (totals.Runs > 0 || totals.Availability) {
        std::string up = FormatDuration(totals.UptimeMinutes);
        std::string down = FormatDuration(totals.DowntimeMinutes);
        if (totals.Availability) {
            up += " (" + FormatPercent(*totals.Availability) + ")";
            down += " (" + FormatPercent(1 - *totals.Availability) + ")";
        }
        Row(out, "Uptime", up);
        Row(out, "Downtime", down);
    }
    if (totals.Runs > 0)
        Row(out, "Longest run",
            FormatDuration(totals.LongestRunMinutes) + ", from " + FormatMomentForPeople(*totals.LongestRunStart));
    if (totals.LongestDowntimeStart)
        Row(out, "Longest downtime",
            FormatDuration(totals.LongestDowntimeMinutes) + ", from " +
                FormatMomentForPeople(*totals.LongestDowntimeStart));
    if (machine.Schedule.Known)
        Row(out, "Power-off", PowerOffLine(machine));
    Row(out, "Warnings", std::to_string(totals.Warnings));
}

// With a schedule, the power-offs each run missed come after its ending.
void PrintTable(std::ostream& out, const MachineReport& machine)
{
    bool missed = machine.Schedule.Known;
    char line[160];
    std::snprintf(line, sizeof line, "  %4s  %-16s  %-16s  %-12s  %-7s  %s%s\n", "#", "Start", "End", "Duration",
                  "Ended", missed ? "Missed  " : "", "Downtime after");
    out << '\n' << line;
    const std::vector<Run>& runs = machine.Runs;
    for (size_t i = 0; i < runs.size(); i++) {
        const Run& run = runs[i];
        std::string end = run.Ended == RunEnd::Unknown ? "-" : FormatMomentForPeople(run.End);
        std::string after = i + 1 < runs.size() ? FormatDuration(runs[i + 1].DowntimeBefore) : "-";
        char count[32] = "";
        if (missed)
            std::snprintf(count, sizeof count, "%6lld  ", static_cast<long long>(run.Missed));
        std::snprintf(line, sizeof line, "  %4zu  %-16s  %-16s  %-12s  %-7s  %s%s\n", i + 1,
                      FormatMomentForPeople(run.Start).c_str(), end.c_str(), FormatDuration(run.Minutes).c_str(),
                      std::string(EndName(run.Ended)).c_str(), count, after.c_str());
        out << line;
    }
}

}  // namespace

namespace {

// A blank line between machines.
class TextStream final : public MachinePrinter {
public:
    TextStream(std::ostream& out, bool table) : Out(out), Table(table) {}
    void Print(const MachineReport& machine) override
    {
        if (Printed++ > 0)
            Out << '\n';
        PrintSummary(Out, machine);
        if (Table)
            PrintTable(Out, machine);
    }

private:
    std::ostream& Out;
    bool Table;
    size_t Printed = 0;
};

}  // namespace

std::unique_ptr<MachinePrinter> TextPrinter(std::ostream& out, bool table)
{
    return std::make_unique<TextStream>(out, table);
}

void PrintText(std::ostream& out, const std::vector<MachineReport>& machines, bool table)
{
    TextStream printer(out, table);
    for (const MachineReport& machine : machines)
        printer.Print(machine);
}

namespace {

// The columns a text takes on a terminal: one for each character of UTF-8.
size_t Width(const std::string& text)
{
    return static_cast<size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

}  // namespace

// The fleet's table, and after its columns the warnings' count and, where a
// machine was not read whole, why, for whoever reads it on a terminal:
// columns as wide as their widest cell, numbers on the right.
void PrintFleetText(std::ostream& out, const std::vector<MachineReport>& machines)
{
    constexpr size_t Columns = FleetColumns + 2;
    bool incomplete = std::any_of(machines.begin(), machines.end(), [](const MachineReport& machine) {
        return !machine.Incomplete.empty() || !machine.Problem.empty();
    });
    size_t shown = incomplete ? Columns : Columns - 1;
    std::array<FleetColumn, Columns> table;
    std::copy(FleetTable().begin(), FleetTable().end(), table.begin());
    table[FleetColumns] = {"Warnings", true};
    table[FleetColumns + 1] = {"Incomplete", false};
    std::vector<std::array<std::string, Columns>> rows;
    std::array<std::string, Columns> headings;
    for (size_t column = 0; column < shown; column++)
        headings[column] = table[column].Heading;
    rows.push_back(headings);
    for (const MachineReport* machine : FleetOrder(machines)) {
        std::array<std::string, FleetColumns> cells = FleetRow(*machine);
        std::array<std::string, Columns>& row = rows.emplace_back();
        std::copy(cells.begin(), cells.end(), row.begin());
        row[0] = WithoutControls(row[0]);
        bool read = machine->Problem.empty();
        row[FleetColumns] = read ? std::to_string(machine->Totals.Warnings) : "-";
        row[FleetColumns + 1] = WithoutControls(read ? machine->Incomplete : machine->Problem);
    }
    std::array<size_t, Columns> widths{};
    for (const auto& row : rows)
        for (size_t column = 0; column < shown; column++)
            widths[column] = std::max(widths[column], Width(row[column]));
    for (const auto& row : rows) {
        std::string line;
        for (size_t column = 0; column < shown; column++) {
            std::string padding(widths[column] - Width(row[column]), ' ');
            if (column > 0)
                line += "  ";
            line += table[column].Numeric ? padding + row[column] : row[column] + padding;
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out << line << '\n';
    }
    out << FleetTotals(machines) << '\n';
}

namespace {

// A blank line between machines' lists; the fleet's machines in a column as
// wide as the widest name.
class TextRuns final : public RunListPrinter {
public:
    TextRuns(std::ostream& out, RunOrder order, size_t count, bool fleet)
        : RunListPrinter(order, count, fleet), Out(out)
    {
    }

private:
    void List(const std::vector<RankedRun>& runs, const MachineReport* machine) override
    {
        bool fleet = machine == nullptr;
        if (!fleet)
            Out << (Printed++ > 0 ? "\n" : "") << WithoutControls(machine->Folder) << '\n';
        size_t width = Width("Machine");
        for (const RankedRun& run : runs)
            width = std::max(width, Width(WithoutControls(run.Machine)));
        auto row = [&](const std::string& rank, const std::string& name, const std::string& start,
                       const std::string& end, const std::string& duration, std::string_view ended) {
            char line[160];
            std::snprintf(line, sizeof line, "  %4s  ", rank.c_str());
            Out << line;
            if (fleet)
                Out << name << std::string(width - Width(name), ' ') << "  ";
            std::snprintf(line, sizeof line, "%-16s  %-16s  %-12s  %.*s\n", start.c_str(), end.c_str(),
                          duration.c_str(), static_cast<int>(ended.size()), ended.data());
            Out << line;
        };
        row("#", "Machine", "Start", "End", "Duration", "Ended");
        for (const RankedRun& ranked : runs) {
            const Run& run = ranked.Of;
            row(std::to_string(ranked.Rank), WithoutControls(ranked.Machine), FormatMomentForPeople(run.Start),
                run.Ended == RunEnd::Unknown ? "-" : FormatMomentForPeople(run.End), FormatDuration(run.Minutes),
                EndName(run.Ended));
        }
    }

    std::ostream& Out;
    size_t Printed = 0;
};

}  // namespace

std::unique_ptr<MachinePrinter> TextRunList(std::ostream& out, RunOrder order, size_t count, bool fleet)
{
    return std::make_unique<TextRuns>(out, order, count, fleet);
}

}  // namespace report
