// SPDX-License-Identifier: Apache-2.0
// The printers, one file per format, each format's fleet variant beside it:
// they write the machines' reports, knowing the model and nothing else of
// how it was read or asked for.
#pragma once

#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <vector>

#include "report/core/model.h"
#include "report/core/ranking.h"

namespace report {

// A printer fed the machines one at a time, as they are read, so that
// memory holds one machine's runs whatever the number of machines. Each
// writes what its function below writes of the same machines.
class MachinePrinter {
public:
    virtual ~MachinePrinter() = default;
    virtual void Print(const MachineReport& machine) = 0;
    // After the last machine.
    virtual void Finish() {}
};
std::unique_ptr<MachinePrinter> TextPrinter(std::ostream& out, bool table);
std::unique_ptr<MachinePrinter> JsonPrinter(std::ostream& out);
// scheduled: whether any machine's schedule is known, which adds columns.
std::unique_ptr<MachinePrinter> CsvPrinter(std::ostream& out, bool scheduled);

// The runs of --top and --last, ranked: each machine's list as it comes,
// or with fleet one list of all the machines' runs once all have come, each
// naming its machine. A format's printer writes the lists.
class RunListPrinter : public MachinePrinter {
public:
    RunListPrinter(RunOrder order, size_t count, bool fleet) : Ranking(order, count), Fleet(fleet) {}
    void Print(const MachineReport& machine) final
    {
        Ranking.Add(machine);
        if (!Fleet)
            List(Ranking.Take(), &machine);
    }
    void Finish() final
    {
        if (Fleet)
            List(Ranking.Take(), nullptr);
        End();
    }

protected:
    // A machine's list, or without one the fleet's.
    virtual void List(const std::vector<RankedRun>& runs, const MachineReport* machine) = 0;
    virtual void End() {}

private:
    RunRanking Ranking;
    bool Fleet;
};
// Text: the folder, then "#", start, end, duration and ending, as the
// table has them; with fleet the machine after "#". CSV:
// rank,folder,start,end,minutes,ended,file,line, machine for folder with
// fleet. JSON: {"machines": [{"folder", "runs"}]}, with fleet {"runs"}, each
// run's "rank" first and with fleet its "machine" and "folder" after it.
std::unique_ptr<MachinePrinter> TextRunList(std::ostream& out, RunOrder order, size_t count, bool fleet);
std::unique_ptr<MachinePrinter> CsvRunList(std::ostream& out, RunOrder order, size_t count, bool fleet);
std::unique_ptr<MachinePrinter> JsonRunList(std::ostream& out, RunOrder order, size_t count, bool fleet);

// The picture, drawn into body machine by machine. Its size, known only
// once every machine is drawn, heads the document, which WriteTo writes
// with body read again from its start; so any number of machines takes the
// memory of one.
class SvgPicture {
public:
    // scheduled: whether any machine has a scheduled minute, which the legend
    // shows; the days after now's are no data.
    SvgPicture(std::iostream& body, const Selection& selected, bool scheduled, LocalMinute now);
    void Draw(const MachineReport& machine);
    // Standalone adds the XML prolog; a page embeds the document without it.
    void WriteTo(std::ostream& out, bool standalone);

private:
    std::iostream& Body;
    std::optional<std::chrono::year_month> FirstBound;
    std::optional<std::chrono::year_month> LastBound;
    bool Scheduled;
    LocalMinute Now;
    bool Legend = false;
    int Y = 0;
};

// A machine's page: the picture, then the summary and the table, whose text
// is kept in text machine by machine until WriteTo writes the page.
class HtmlPage {
public:
    explicit HtmlPage(std::iostream& text);
    ~HtmlPage();
    void Add(const MachineReport& machine);
    void WriteTo(std::ostream& out, SvgPicture& picture);

private:
    std::iostream& Text;
    std::ostringstream Chunk;  // one machine's text, escaped into Text
    std::unique_ptr<MachinePrinter> Table;
    size_t Machines = 0;
    std::string FirstFolder;
};

// Writes what from holds, read again from its start, to out.
void CopyFromStart(std::iostream& from, std::ostream& out);

// The short summary for people; with table, one row per run after it.
void PrintText(std::ostream& out, const std::vector<MachineReport>& machines, bool table);
// {"machines": [{"folder", "summary", "runs", "warnings"}]}
void PrintJson(std::ostream& out, const std::vector<MachineReport>& machines);
// folder,start,end,minutes,ended,file,line: one row per run.
void PrintCsv(std::ostream& out, const std::vector<MachineReport>& machines);
// One self-contained SVG document of the machines' months: from the first
// selected run's month to that of the last one's end, within the selection.
// Standalone adds the XML prolog; a page embeds the document without it.
void PrintSvg(std::ostream& out, const std::vector<MachineReport>& machines, const Selection& selected, LocalMinute now,
              bool standalone = true);
// One self-contained web page: the picture, then the summary and the table.
void PrintHtml(std::ostream& out, const std::vector<MachineReport>& machines, const Selection& selected,
               LocalMinute now);
// The summaries as metrics in the Prometheus text format, for the textfile
// collectors; each machine's Name is its label. runningWithin: the minutes
// within which the newest run counts as running, which the help says.
void PrintOpenMetrics(std::ostream& out, const std::vector<MachineReport>& machines, int runningWithin);

// The fleet: one row per machine, named by its Name, with its warnings and
// why it was not read whole, and the fleet's totals.
void PrintFleetText(std::ostream& out, const std::vector<MachineReport>& machines);
// A machine whose folder cannot be read (its Problem) is a row that says so
// in each of them.
//
// machine,schedule,runs,crash,pdown,poweroffs_missed,minutes_past_schedule,
// uptime_minutes,availability,last_end,running,last_poweroff,warnings,
// incomplete,newest_run_ended,state_since; an empty field stands for a value
// that does not exist, all but the machine's and the reason for an unread one.
void PrintFleetCsv(std::ostream& out, const std::vector<MachineReport>& machines);
// {"machines": [{"folder", "machine", "summary"}]}: the summaries, no runs;
// an unread machine's "error" in place of its summary.
void PrintFleetJson(std::ostream& out, const std::vector<MachineReport>& machines);
// One self-contained page: the fleet's table, and a strip of each machine's
// Days under it, the machines that missed a power-off first.
void PrintFleetHtml(std::ostream& out, const std::vector<MachineReport>& machines);

}  // namespace report
