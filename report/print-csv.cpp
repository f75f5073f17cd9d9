// SPDX-License-Identifier: Apache-2.0
// The CSV printer: one row per run, quoted as RFC 4180 says.
#include "report/print.h"

#include "report/moments.h"

namespace report {

namespace {

// A field, quoted when it holds a comma, a quote or a line end.
std::string CsvField(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

}  // namespace

// With a schedule in any folder, two more columns: the power-offs each run
// missed and its minutes past the schedule, empty for a folder without one.
void PrintCsv(std::ostream& out, const std::vector<MachineReport>& machines)
{
    bool scheduled = false;
    for (const MachineReport& machine : machines)
        scheduled = scheduled || machine.Schedule.Known;
    out << "folder,start,end,minutes,ended,file,line" << (scheduled ? ",missed,minutes_past_schedule" : "") << '\n';
    for (const MachineReport& machine : machines) {
        std::string folder = CsvField(machine.Folder);
        for (const Run& run : machine.Runs) {
            out << folder << ',' << FormatMoment(run.Start) << ',' << FormatMoment(run.End) << ',' << run.Minutes << ','
                << EndName(run.Ended) << ',' << CsvField(run.File) << ',' << run.Line;
            if (machine.Schedule.Known)
                out << ',' << run.Missed << ',' << run.MinutesPastSchedule;
            else if (scheduled)
                out << ",,";
            out << '\n';
        }
    }
}

}  // namespace report
