// SPDX-License-Identifier: Apache-2.0
// The web page printers: one machine's picture, summary and table of runs,
// and the fleet's page, its table and a strip per machine with a cell per
// day, coloured by what that day's scheduled power-off saw. Each page holds
// nothing fetched from elsewhere: the pictures are inline SVG, the style
// sheet is in the page, and there are no scripts.
#include <algorithm>
#include <sstream>
#include <string>

#include "report/core/text-forms.h"
#include "report/print/fleet-table.h"
#include "report/print/palette.h"
#include "report/print/print.h"
#include "report/print/xml.h"

namespace report {

namespace {

// The page's head, with its title and style sheet, and the start of its body.
void Head(std::ostream& out, const std::string& title, const std::string& style)
{
    out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n"
        << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"/>\n"
        << "<title>" << XmlEscape(title) << "</title>\n"
        << "<style>\n"
        << style << "</style>\n</head>\n<body>\n";
}

}  // namespace

HtmlPage::HtmlPage(std::iostream& text) : Text(text), Table(TextPrinter(Chunk, true)) {}

HtmlPage::~HtmlPage() = default;

void HtmlPage::Add(const MachineReport& machine)
{
    // The summary and the table as the text output prints them.
    if (Machines++ == 0)
        FirstFolder = machine.Folder;
    Chunk.str("");
    Table->Print(machine);
    Text << XmlEscape(Chunk.str());
}

void HtmlPage::WriteTo(std::ostream& out, SvgPicture& picture)
{
    std::string title = "Verdimoor uptime";
    if (Machines == 1)
        title += ": " + FirstFolder;
    Head(out, title,
         "body { margin: 1em auto; max-width: 960px; padding: 0 8px; color: #000; background: #fff;"
         " font-family: \"DejaVu Sans\", Verdana, Arial, sans-serif; }\n"
         "svg { display: block; width: 100%; height: auto; }\n"
         "pre { font-family: \"DejaVu Sans Mono\", Consolas, monospace; font-size: 12px;"
         " overflow-x: auto; }\n");
    picture.WriteTo(out, false);
    // In a fixed-width font.
    out << "<pre>";
    CopyFromStart(Text, out);
    out << "</pre>\n</body>\n</html>\n";
}

void PrintHtml(std::ostream& out, const std::vector<MachineReport>& machines, const Selection& selected,
               LocalMinute now)
{
    bool scheduled = false;
    for (const MachineReport& machine : machines)
        scheduled = scheduled || machine.Schedule.Minute;
    std::stringstream body;
    std::stringstream text;
    SvgPicture picture(body, selected, scheduled, now);
    HtmlPage page(text);
    for (const MachineReport& machine : machines) {
        picture.Draw(machine);
        page.Add(machine);
    }
    page.WriteTo(out, picture);
}

namespace {

using namespace std::chrono;

// A strip: the machine's name on the left, cut to leave a gap before the
// squares, then a square per day.
constexpr int NameWidth = 200;
constexpr int NameGap = 8;
// The table's text, and the width its machines' names are cut to, so that
// the table fits a screen 1400 pixels wide.
constexpr int TableFontSize = 13;
constexpr int TableNameWidth = 240;
constexpr int Cell = 16;
constexpr int Pitch = 18;
constexpr int HeaderHeight = 34;

// The picture of the months' colours: the scheduled power-off's, the running
// run's for a machine on past it, the crash's.
const char* DayColour(DayState state)
{
    switch (state) {
    case DayState::OffOnSchedule: return palette::BluishGreen;
    case DayState::Missed: return palette::Orange;
    case DayState::Crashed: return palette::Vermillion;
    case DayState::On: return palette::SkyBlue;
    case DayState::OffAllDay: return palette::White;
    case DayState::NoData: return palette::LightGrey;
    }
    return palette::White;
}

const char* DayLabel(DayState state)
{
    switch (state) {
    case DayState::OffOnSchedule: return "off on schedule";
    case DayState::Missed: return "on past the schedule";
    case DayState::Crashed: return "crashed";
    case DayState::On: return "on, no power-off due";
    case DayState::OffAllDay: return "off all day";
    case DayState::NoData: return "no data";
    }
    return "";
}

void Table(std::ostream& out, const std::vector<const MachineReport*>& machines, const std::vector<MachineReport>& all)
{
    out << "<table class=\"fleet\">\n<thead><tr>";
    for (const FleetColumn& column : FleetTable())
        out << "<th" << (column.Numeric ? " class=\"number\"" : "") << ">" << column.Heading << "</th>";
    out << "</tr></thead>\n<tbody>\n";
    for (const MachineReport* machine : machines) {
        out << "<tr class=\"machine" << (machine->Totals.LastPowerOffAnswer == LastPowerOff::Missed ? " missed" : "")
            << (machine->Totals.NewestEnded == RunEnd::Crash ? " crashed" : "") << "\">";
        auto row = FleetRow(*machine);
        for (size_t column = 0; column < FleetColumns; column++) {
            // A long name cut, whole on hover.
            std::string shown = column == 0 ? FitToWidth(row[0], TableFontSize, TableNameWidth) : row[column];
            out << "<td" << (FleetTable()[column].Numeric ? " class=\"number\"" : "")
                << (shown != row[column] ? " title=\"" + XmlEscape(row[column]) + "\"" : "") << ">" << XmlEscape(shown)
                << "</td>";
        }
        out << "</tr>\n";
    }
    out << "</tbody>\n<tfoot><tr><td colspan=\"" << FleetColumns << "\">" << XmlEscape(FleetTotals(all))
        << "</td></tr></tfoot>\n</table>\n";
}

void Strips(std::ostream& out, const std::vector<const MachineReport*>& machines, const std::vector<Day>& dates)
{
    // Room for the legend too.
    int width = NameWidth + std::max(static_cast<int>(dates.size()) * Pitch, 800);
    int height = HeaderHeight + static_cast<int>(machines.size()) * Pitch + 40;
    out << "<svg class=\"days\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" << width << "\" height=\"" << height
        << "\" viewBox=\"0 0 " << width << " " << height << "\">\n";
    // Each day's number, its weekday's letter below it, and the month where
    // it begins, or over the first day when the next month is not too near.
    for (size_t i = 0; i < dates.size(); i++) {
        year_month_day date{dates[i].Date};
        int x = NameWidth + static_cast<int>(i) * Pitch + Cell / 2;
        year_month_day monthEnd{year_month_day_last{date.year() / date.month() / last}};
        bool room = static_cast<unsigned>(monthEnd.day()) - static_cast<unsigned>(date.day()) >= 3;
        if ((i == 0 && room) || static_cast<unsigned>(date.day()) == 1)
            out << "<text x=\"" << x - Cell / 2 << "\" y=\"10\" font-size=\"10\">" << FormatMonth(dates[i].Date)
                << "</text>\n";
        out << "<text x=\"" << x << "\" y=\"22\" font-size=\"9\" text-anchor=\"middle\">"
            << static_cast<unsigned>(date.day()) << "</text>\n<text x=\"" << x
            << "\" y=\"31\" font-size=\"9\" text-anchor=\"middle\">" << WeekdayName(dates[i].Date)[0] << "</text>\n";
    }
    for (size_t row = 0; row < machines.size(); row++) {
        const MachineReport& machine = *machines[row];
        int top = HeaderHeight + static_cast<int>(row) * Pitch;
        std::string name = FitToWidth(machine.Name, 12, NameWidth - NameGap);
        out << "<g class=\"strip\"><text x=\"0\" y=\"" << top + 12 << "\" font-size=\"12\">" << XmlEscape(name);
        if (name != machine.Name)
            out << "<title>" << XmlEscape(machine.Name) << "</title>";
        out << "</text>\n";
        for (size_t i = 0; i < machine.Days.size(); i++) {
            const Day& day = machine.Days[i];
            std::string tip = machine.Name + ", " + WeekdayName(day.Date) + " " + FormatDay(day.Date) + ": " +
                              (day.State == DayState::NoData ? "" : FormatDuration(day.MinutesOn) + " on, ") +
                              DayLabel(day.State);
            out << "<rect x=\"" << NameWidth + static_cast<int>(i) * Pitch << "\" y=\"" << top << "\" width=\"" << Cell
                << "\" height=\"" << Cell << "\" fill=\"" << DayColour(day.State)
                << "\" stroke=\"#BBBBBB\" stroke-width=\"1\"><title>" << XmlEscape(tip) << "</title></rect>\n";
        }
        out << "</g>\n";
    }
    // The legend, under the strips.
    int y = HeaderHeight + static_cast<int>(machines.size()) * Pitch + 16;
    int x = NameWidth;
    for (DayState state : {DayState::OffOnSchedule, DayState::Missed, DayState::Crashed, DayState::On,
                           DayState::OffAllDay, DayState::NoData}) {
        out << "<rect x=\"" << x << "\" y=\"" << y << "\" width=\"" << Cell << "\" height=\"" << Cell << "\" fill=\""
            << DayColour(state) << "\" stroke=\"#BBBBBB\" stroke-width=\"1\"/>\n<text x=\"" << x + Cell + 6 << "\" y=\""
            << y + 12 << "\" font-size=\"12\">" << DayLabel(state) << "</text>\n";
        x += Cell + 6 + 7 * static_cast<int>(std::string(DayLabel(state)).size()) + 18;
    }
    out << "</svg>\n";
}

}  // namespace

void PrintFleetHtml(std::ostream& out, const std::vector<MachineReport>& machines)
{
    std::vector<const MachineReport*> order = FleetOrder(machines);

    Head(out, "Verdimoor fleet",
         "body { margin: 16px; color: #000; background: #fff; font-family: \"DejaVu Sans\", Verdana, Arial, "
         "sans-serif; }\n"
         "h1 { font-size: 20px; }\n"
         "table.fleet { border-collapse: collapse; font-size: " +
             std::to_string(TableFontSize) +
             "px; margin-bottom: 24px; }\n"
             "table.fleet th, table.fleet td { padding: 2px 8px; text-align: left; white-space: nowrap; }\n"
             "table.fleet tbody td:first-child { max-width: " +
             std::to_string(TableNameWidth) +
             "px; overflow: hidden; text-overflow: ellipsis; }\n"
             "table.fleet thead th { border-bottom: 1px solid #8C8C8C; }\n"
             "table.fleet .number { text-align: right; }\n"
             "table.fleet tr.missed td { font-weight: bold; }\n"
             "table.fleet tr.crashed td { background: #FBE3D6; }\n"
             "table.fleet tfoot td { border-top: 1px solid #8C8C8C; }\n"
             "svg.days { display: block; font-family: inherit; }\n");
    out << "<h1>Verdimoor fleet</h1>\n";
    Table(out, order, machines);
    // Every machine has the same days, but one whose folder cannot be read.
    auto dated = std::find_if(order.begin(), order.end(), [](const MachineReport* m) { return !m->Days.empty(); });
    if (dated != order.end()) {
        const std::vector<Day>& dates = (*dated)->Days;
        out << "<p>Each day from " << FormatDay(dates.front().Date) << " to " << FormatDay(dates.back().Date)
            << ", as its scheduled power-off saw it.</p>\n";
        Strips(out, order, dates);
    }
    out << "</body>\n</html>\n";
}

}  // namespace report
