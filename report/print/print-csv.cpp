// SPDX-License-Identifier: Apache-2.0
// The CSV printer: one row per run, quoted as RFC 4180 says; the ranked
// runs; the fleet's rows.
#include "report/print/print.h"

#include <algorithm>
#include <charconv>

#include "report/core/text-forms.h"

namespace report {

namespace {

// A text field: a ' before a first character that makes a spreadsheet read
// it as a formula; then quoted when it holds a comma, a quote or a line end.
std::string CsvField(const std::string& text)
{
    std::string cell =
        !text.empty() && std::string_view("=+-@\t\r").find(text[0]) != std::string_view::npos ? '\'' + text : text;
    if (cell.find_first_of(",\"\r\n") == std::string::npos)
        return cell;
    std::string quoted = "\"";
    for (char c : cell) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

// The shortest decimal that reads back as the same number, as JSON has it.
std::string ShortestDecimal(double value)
{
    char text[32];
    std::to_chars_result end = std::to_chars(text, text + sizeof text, value);
    return std::string(text, end.ptr);
}

}  // namespace

namespace {

// With a schedule in any folder, two more columns: the power-offs each run
// missed and its minutes past the schedule, empty for a folder without one.
class CsvStream final : public MachinePrinter {
public:
    CsvStream(std::ostream& out, bool scheduled) : Out(out), Scheduled(scheduled)
    {
        Out << "folder,start,end,minutes,ended,file,line" << (Scheduled ? ",missed,minutes_past_schedule" : "") << '\n';
    }
    void Print(const MachineReport& machine) override
    {
        std::string folder = CsvField(machine.Folder);
        for (const Run& run : machine.Runs) {
            Out << folder << ',' << FormatMoment(run.Start) << ',' << FormatMoment(run.End) << ',' << run.Minutes << ','
                << EndName(run.Ended) << ',' << CsvField(run.File) << ',' << run.Line;
            if (machine.Schedule.Known)
                Out << ',' << run.Missed << ',' << run.MinutesPastSchedule;
            else if (Scheduled)
                Out << ",,";
            Out << '\n';
        }
    }

private:
    std::ostream& Out;
    bool Scheduled;
};

}  // namespace

std::unique_ptr<MachinePrinter> CsvPrinter(std::ostream& out, bool scheduled)
{
    return std::make_unique<CsvStream>(out, scheduled);
}

void PrintCsv(std::ostream& out, const std::vector<MachineReport>& machines)
{
    bool scheduled = false;
    for (const MachineReport& machine : machines)
        scheduled = scheduled || machine.Schedule.Known;
    CsvStream printer(out, scheduled);
    for (const MachineReport& machine : machines)
        printer.Print(machine);
}

namespace {

class CsvRuns final : public RunListPrinter {
public:
    CsvRuns(std::ostream& out, RunOrder order, size_t count, bool fleet) : RunListPrinter(order, count, fleet), Out(out)
    {
        Out << "rank," << (fleet ? "machine" : "folder") << ",start,end,minutes,ended,file,line\n";
    }

private:
    void List(const std::vector<RankedRun>& runs, const MachineReport* machine) override
    {
        for (const RankedRun& ranked : runs) {
            const Run& run = ranked.Of;
            Out << ranked.Rank << ',' << CsvField(machine != nullptr ? ranked.Folder : ranked.Machine) << ','
                << FormatMoment(run.Start) << ',' << FormatMoment(run.End) << ',' << run.Minutes << ','
                << EndName(run.Ended) << ',' << CsvField(run.File) << ',' << run.Line << '\n';
        }
    }

    std::ostream& Out;
};

}  // namespace

std::unique_ptr<MachinePrinter> CsvRunList(std::ostream& out, RunOrder order, size_t count, bool fleet)
{
    return std::make_unique<CsvRuns>(out, order, count, fleet);
}

void PrintFleetCsv(std::ostream& out, const std::vector<MachineReport>& machines)
{
    constexpr std::string_view header = "machine,schedule,runs,crash,pdown,poweroffs_missed,minutes_past_schedule,"
                                        "uptime_minutes,availability,last_end,running,last_poweroff,warnings,"
                                        "incomplete,newest_run_ended,state_since";
    out << header << '\n';
    for (const MachineReport& machine : machines) {
        const Summary& totals = machine.Totals;
        const std::optional<int>& minute = machine.Schedule.Minute;
        out << CsvField(machine.Name);
        if (!machine.Problem.empty()) {
            // Every field but the machine's and the reason, in incomplete, empty.
            constexpr std::string_view before = header.substr(0, header.find(",incomplete"));
            constexpr std::string_view after = header.substr(header.find(",incomplete") + 1);
            out << std::string(static_cast<size_t>(std::count(before.begin(), before.end(), ',')) + 1, ',')
                << CsvField(machine.Problem)
                << std::string(static_cast<size_t>(std::count(after.begin(), after.end(), ',')), ',') << '\n';
            continue;
        }
        out << ',';
        if (minute)
            out << FormatTimeOfDay(*minute);
        else if (machine.Schedule.Known)
            out << "none";
        out << ',' << totals.Runs << ',' << totals.Crash << ',' << totals.Pdown << ',';
        if (minute)
            out << totals.PoweroffsMissed << ',' << totals.MinutesPastSchedule;
        else
            out << ',';
        out << ',' << totals.UptimeMinutes << ',';
        if (totals.Availability)
            out << ShortestDecimal(*totals.Availability);
        out << ',';
        if (totals.LastEnd)
            out << FormatMoment(*totals.LastEnd);
        out << ',' << (totals.NewestEnded == RunEnd::Running ? 1 : 0) << ','
            << LastPowerOffName(totals.LastPowerOffAnswer) << ',' << totals.Warnings << ','
            << CsvField(machine.Incomplete) << ',';
        if (totals.NewestEnded)
            out << EndName(*totals.NewestEnded);
        out << ',';
        if (totals.StateSince)
            out << FormatMoment(*totals.StateSince);
        out << '\n';
    }
}

}  // namespace report
