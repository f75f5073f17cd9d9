// SPDX-License-Identifier: Apache-2.0
// The picture printer: the months of each machine drawn as plain SVG, a
// timeline per month, one row per day, each run a bar coloured by how it
// ended. No scripts, no fonts or images from elsewhere, and black text on
// white, so that it prints.
#include "report/print/print.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "report/core/days.h"
#include "report/core/text-forms.h"
#include "report/print/palette.h"
#include "report/print/xml.h"

namespace report {
namespace {

using namespace std::chrono;

// The page: day labels on the left, the 24 hours of a day across 864 pixels.
constexpr int PageWidth = 960;
constexpr int PlotLeft = 72;
constexpr double PixelsPerMinute = 0.6;
constexpr int MinutesPerDay = 1440;
constexpr int PlotWidth = static_cast<int>(MinutesPerDay * PixelsPerMinute);
constexpr int RowHeight = 16;
constexpr int BarTop = 3;
constexpr int BarHeight = 10;
constexpr double MinimumBarWidth = 2.0;  // a run of a minute or of unknown length stays visible
// A machine's picture draws at most this many months, the newest: twenty
// years, and a bounded picture whatever years the logs claim.
constexpr size_t MostMonths = 240;

const char* EndColour(RunEnd ended)
{
    switch (ended) {
    case RunEnd::Down: return palette::Blue;
    case RunEnd::Pdown: return palette::BluishGreen;
    case RunEnd::Crash: return palette::Vermillion;
    case RunEnd::Unknown: return palette::ReddishPurple;
    case RunEnd::Running: return palette::Orange;
    }
    return palette::Black;
}

const char* EndLabel(RunEnd ended)
{
    switch (ended) {
    case RunEnd::Down: return "clean stop";
    case RunEnd::Pdown: return "scheduled power-off";
    case RunEnd::Crash: return "crash";
    case RunEnd::Unknown: return "end unknown";
    case RunEnd::Running: return "still running";
    }
    return "";
}

// One day's piece of a run, in minutes of that day.
struct Segment {
    int From = 0;
    int To = 0;
    const Run* Of = nullptr;
    bool Last = false;  // the run ends here
};

double X(double minuteOfDay)
{
    return PlotLeft + minuteOfDay * PixelsPerMinute;
}

std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// Cuts every run into one piece per day it covers from first to before
// after, the days drawn; a run across midnight continues on the next day's
// row.
std::map<local_days, std::vector<Segment>> SegmentsByDay(const std::vector<Run>& runs, local_days first,
                                                         local_days after)
{
    std::map<local_days, std::vector<Segment>> byDay;
    for (const Run& run : runs) {
        LocalMinute end = std::max(run.End.Local, run.Start.Local);
        if (end < LocalMinute{first} || run.Start.Local >= LocalMinute{after})
            continue;
        local_days day = std::max(floor<days>(run.Start.Local), first);
        for (; day < after; day += days{1}) {
            LocalMinute dayStart = day;
            LocalMinute dayEnd = day + days{1};
            LocalMinute from = std::max(run.Start.Local, dayStart);
            LocalMinute to = std::min(end, dayEnd);
            bool last = end <= dayEnd;
            // A run that ends at midnight draws nothing on the next day.
            if (to > from || last)
                byDay[day].push_back({static_cast<int>((from - dayStart).count()),
                                      static_cast<int>((to - dayStart).count()), &run, last});
            if (last)
                break;
        }
    }
    return byDay;
}

// The minutes of [from, to) that fall in [lo, hi).
int64_t Overlap(LocalMinute from, LocalMinute to, LocalMinute lo, LocalMinute hi)
{
    return std::max<int64_t>(0, (std::min(to, hi) - std::max(from, lo)).count());
}

// "March 2026".
std::string MonthTitle(year_month month)
{
    return std::string(MonthName(static_cast<unsigned>(month.month()))) + " " +
           std::to_string(static_cast<int>(month.year()));
}

// The months that hold the runs, from each one's start to its end, within
// the selection's months, oldest first.
std::vector<year_month> MonthsOfRuns(const std::vector<Run>& runs, std::optional<year_month> firstBound,
                                     std::optional<year_month> lastBound)
{
    std::vector<year_month> held;
    for (const Run& run : runs) {
        year_month_day start{floor<days>(run.Start.Local)};
        year_month_day end{floor<days>(run.End.Local)};
        year_month first = start.year() / start.month();
        year_month last = end.year() / end.month();
        if (firstBound && *firstBound > first)
            first = *firstBound;
        if (lastBound && *lastBound < last)
            last = *lastBound;
        for (year_month month = first; month <= last; month += months{1})
            if (held.empty() || held.back() != month)
                held.push_back(month);
    }
    std::sort(held.begin(), held.end());
    held.erase(std::unique(held.begin(), held.end()), held.end());
    return held;
}

struct MonthTotals {
    int64_t Up = 0;
    int64_t Down = 0;
};

// A month's uptime and downtime as the summary has them, cut at the month's
// bounds: the runs, a running one's up to the period's end, and the rest of
// the period.
MonthTotals TotalsOf(const std::vector<Run>& runs, const Summary& summary, year_month month)
{
    MonthTotals totals;
    if (!summary.PeriodStart)
        return totals;
    LocalMinute lo = std::max(LocalMinute{local_days{month / 1}}, summary.PeriodStart->Local);
    LocalMinute hi = std::min(LocalMinute{local_days{(month + months{1}) / 1}}, summary.PeriodEnd->Local);
    if (hi <= lo)
        return totals;
    for (const Run& run : runs)
        totals.Up +=
            Overlap(run.Start.Local, run.Ended == RunEnd::Running ? summary.PeriodEnd->Local : run.End.Local, lo, hi);
    totals.Down = std::max<int64_t>(0, (hi - lo).count() - totals.Up);
    return totals;
}

// Draws at y, which it moves down past what it drew.
class Page {
public:
    Page(std::ostream& out, int& y) : out_(out), y_(y) {}

    void Text(double x, double y, const std::string& text, const char* attributes = "")
    {
        out_ << "<text x=\"" << Number(x) << "\" y=\"" << Number(y) << "\"" << attributes << ">" << XmlEscape(text)
             << "</text>\n";
    }

    void Heading(const MachineReport& machine)
    {
        // A long folder cut to the page, whole on hover.
        std::string heading = "Verdimoor uptime: " + machine.Folder;
        std::string shown = FitToWidth(heading, 18, PageWidth - 24, true);
        out_ << "<text x=\"12.0\" y=\"" << Number(y_ + 22) << "\" font-size=\"18\" font-weight=\"bold\">"
             << XmlEscape(shown);
        if (shown != heading)
            out_ << "<title>" << XmlEscape(heading) << "</title>";
        out_ << "</text>\n";
        const Summary& s = machine.Totals;
        std::string line = FormatCount(s.Runs, "run", "runs") + ": " +
                           FormatCount(s.Down, "clean stop", "clean stops") + ", " +
                           FormatCount(s.Pdown, "scheduled power-off", "scheduled power-offs") + ", " +
                           FormatCount(s.Crash, "crash", "crashes");
        if (s.Unknown > 0)
            line += ", " + std::to_string(s.Unknown) + " of unknown end";
        if (s.Running > 0)
            line += ", running now";
        line += "; " + Availability(s.UptimeMinutes, s.DowntimeMinutes);
        Text(12, y_ + 42, line, " font-size=\"12\"");
        y_ += 52;
    }

    // A second row: with a schedule, its line and the mark of a run on past
    // it; then the shade of the days the logs tell nothing of.
    void Legend(bool scheduled)
    {
        double x = PlotLeft;
        for (RunEnd ended : {RunEnd::Down, RunEnd::Pdown, RunEnd::Crash, RunEnd::Unknown, RunEnd::Running}) {
            out_ << "<rect x=\"" << x << "\" y=\"" << y_ + 4 << "\" width=\"18\" height=\"" << BarHeight << "\" fill=\""
                 << EndColour(ended) << "\"/>\n";
            std::string label = EndLabel(ended);
            Text(x + 24, y_ + 13, label, " font-size=\"12\"");
            x += 24 + 7.0 * static_cast<double>(label.size()) + 18;
        }
        CrashMark(x + 4, y_ + 1);
        Text(x + 14, y_ + 13, "crash: last sign of life", " font-size=\"12\"");
        y_ += 24;
        x = PlotLeft;
        if (scheduled) {
            ScheduleLine(x + 9, y_, y_ + RowHeight);
            Text(x + 24, y_ + 13, "scheduled power-off time", " font-size=\"12\"");
            x += 24 + 7.0 * 24 + 18;
            MissedMark(x + 9, y_);
            Text(x + 24, y_ + 13, "on past the scheduled power-off", " font-size=\"12\"");
            x += 24 + 7.0 * 31 + 18;
        }
        out_ << "<rect x=\"" << x << "\" y=\"" << y_ + 4 << "\" width=\"18\" height=\"" << BarHeight << "\" fill=\""
             << palette::LightGrey << "\"/>\n";
        Text(x + 24, y_ + 13, "no data: before the first log, or after now", " font-size=\"12\"");
        y_ += 24;
    }

    // The days before logged and after today are no data.
    void Month(const std::vector<Run>& runs, const Summary& summary, year_month month,
               const std::map<local_days, std::vector<Segment>>& segments, std::optional<int> scheduled,
               local_days logged, local_days today)
    {
        y_ += 14;
        Text(12, y_ + 16, MonthTitle(month), " font-size=\"15\" font-weight=\"bold\"");
        MonthTotals totals = TotalsOf(runs, summary, month);
        Text(PlotLeft + 110, y_ + 16, Availability(totals.Up, totals.Down), " font-size=\"12\"");
        y_ += 24;

        // Hour labels every three hours, a tick every hour.
        for (int hour = 0; hour <= 24; hour += 3) {
            char label[8];
            std::snprintf(label, sizeof label, "%02d:00", hour);
            Text(X(hour * 60), y_ + 10, label, " font-size=\"11\" text-anchor=\"middle\"");
        }
        y_ += 14;
        local_days first = local_days{month / 1};
        local_days end = local_days{(month + months{1}) / 1};
        int rows = static_cast<int>((end - first).count());
        int plotTop = y_;
        int plotBottom = y_ + rows * RowHeight;

        for (int row = 0; row < rows; ++row) {
            local_days day = first + days{row};
            weekday wd{day};
            int top = plotTop + row * RowHeight;
            bool noData = day < logged || day > today;
            if (noData || wd == Saturday || wd == Sunday)
                out_ << "<rect x=\"" << PlotLeft << "\" y=\"" << top << "\" width=\"" << PlotWidth << "\" height=\""
                     << RowHeight << "\" fill=\"" << (noData ? palette::LightGrey : "#EBEBEB") << "\"/>\n";
            Text(PlotLeft - 6, top + 12,
                 std::string(WeekdayName(day)) + " " + std::to_string(static_cast<unsigned>(year_month_day{day}.day())),
                 " font-size=\"11\" text-anchor=\"end\"");
        }
        for (int hour = 0; hour <= 24; ++hour) {
            bool major = hour % 6 == 0;
            out_ << "<line x1=\"" << Number(X(hour * 60)) << "\" y1=\"" << plotTop - (major ? 4 : 2) << "\" x2=\""
                 << Number(X(hour * 60)) << "\" y2=\"" << plotBottom << "\" stroke=\""
                 << (major ? "#8C8C8C" : "#CCCCCC") << "\" stroke-width=\"1\"/>\n";
        }
        out_ << "<rect x=\"" << PlotLeft << "\" y=\"" << plotTop << "\" width=\"" << PlotWidth << "\" height=\""
             << plotBottom - plotTop << "\" fill=\"none\" stroke=\"#8C8C8C\" stroke-width=\"1\"/>\n";

        for (auto it = segments.lower_bound(first); it != segments.end() && it->first < end; ++it) {
            int top = plotTop + static_cast<int>((it->first - first).count()) * RowHeight;
            for (const Segment& segment : it->second)
                Bar(segment, top);
        }
        if (scheduled) {
            ScheduleLine(X(*scheduled), plotTop, plotBottom);
            for (const Run& run : runs)
                for (local_days day : MissedDays(run, *scheduled, first, end - days{1}))
                    MissedMark(X(*scheduled), plotTop + static_cast<int>((day - first).count()) * RowHeight);
        }
        y_ = plotBottom + 8;
    }

    void NoRuns() { Note("No runs in these logs, or none selected."); }

    // One row for the months between two drawn ones.
    void Gap(year_month first, year_month last)
    {
        int count = (last - first).count() + 1;
        Note(count == 1 ? "No runs in " + MonthTitle(first) + "."
                        : "No runs in the " + std::to_string(count) + " months from " + MonthTitle(first) + " to " +
                              MonthTitle(last) + ".");
    }

    void Note(const std::string& text)
    {
        Text(12, y_ + 20, text, " font-size=\"12\"");
        y_ += 30;
    }

private:
    static std::string Availability(int64_t up, int64_t down)
    {
        if (up + down == 0)
            return "no uptime or downtime";
        return "availability " + FormatPercent(static_cast<double>(up) / static_cast<double>(up + down)) + " (up " +
               FormatDuration(up) + ", down " + FormatDuration(down) + ")";
    }

    void Bar(const Segment& segment, int top)
    {
        const Run& run = *segment.Of;
        double x = X(segment.From);
        double width = std::max(MinimumBarWidth, (segment.To - segment.From) * PixelsPerMinute);
        out_ << "<rect x=\"" << Number(x) << "\" y=\"" << top + BarTop << "\" width=\"" << Number(width)
             << "\" height=\"" << BarHeight << "\" fill=\"" << EndColour(run.Ended) << "\"><title>"
             << XmlEscape(Describe(run)) << "</title></rect>\n";
        if (segment.Last && run.Ended == RunEnd::Crash)
            CrashMark(X(segment.To), top);
    }

    // The scheduled minute, a thin dashed line across the days, in the middle
    // of a pixel so that it stays black.
    void ScheduleLine(double x, int top, int bottom)
    {
        x = std::floor(x) + 0.5;
        out_ << "<line x1=\"" << Number(x) << "\" y1=\"" << top << "\" x2=\"" << Number(x) << "\" y2=\"" << bottom
             << "\" stroke=\"#000000\" stroke-width=\"1\" stroke-dasharray=\"3 2\"/>\n";
    }

    // A black diamond where a run stayed on through the scheduled minute.
    void MissedMark(double x, int top)
    {
        int middle = top + BarTop + BarHeight / 2;
        out_ << "<path d=\"M" << Number(x) << " " << middle - 5 << "l5 5l-5 5l-5 -5z\" fill=\"#000000\"/>\n";
    }

    // A black tick and pointer at a crash's last minute.
    void CrashMark(double x, int top)
    {
        out_ << "<path d=\"M" << Number(x - 4) << " " << top << "h8l-4 5z\" fill=\"#000000\"/>"
             << "<line x1=\"" << Number(x) << "\" y1=\"" << top << "\" x2=\"" << Number(x) << "\" y2=\""
             << top + RowHeight - 1 << "\" stroke=\"#000000\" stroke-width=\"1.5\"/>\n";
    }

    static std::string Describe(const Run& run)
    {
        return FormatMomentForPeople(run.Start) + " to " + FormatMomentForPeople(run.End) + ", " +
               FormatDuration(run.Minutes) + ", " + EndLabel(run.Ended) + " (" + run.File + " line " +
               std::to_string(run.Line) + ")";
    }

    std::ostream& out_;
    int& y_;
};

}  // namespace

SvgPicture::SvgPicture(std::iostream& body, const Selection& selected, bool scheduled, LocalMinute now)
    : Body(body), Scheduled(scheduled), Now(now)
{
    // The selection bounds the months drawn.
    if (selected.Since) {
        year_month_day since{*selected.Since};
        FirstBound = since.year() / since.month();
    }
    if (selected.Until) {
        year_month_day until{*selected.Until};
        LastBound = until.year() / until.month();
    }
}

void SvgPicture::Draw(const MachineReport& machine)
{
    Page page(Body, Y);
    page.Heading(machine);
    if (!Legend) {
        page.Legend(Scheduled);
        Legend = true;
    }
    if (machine.Runs.empty()) {
        page.NoRuns();
        return;
    }
    // The months that hold runs, the newest MostMonths of them, and a row
    // for each stretch of months between them without any.
    std::vector<year_month> drawn = MonthsOfRuns(machine.Runs, FirstBound, LastBound);
    if (drawn.size() > MostMonths) {
        size_t older = drawn.size() - MostMonths;
        drawn.erase(drawn.begin(), drawn.begin() + static_cast<ptrdiff_t>(older));
        page.Note(FormatCount(static_cast<int64_t>(older), "older month", "older months") +
                  " with runs left out: the newest " + std::to_string(MostMonths) + " are drawn.");
    }
    local_days logged = *FirstDayLogged(machine.Runs, machine.FirstLogged);
    auto segments = drawn.empty() ? std::map<local_days, std::vector<Segment>>{}
                                  : SegmentsByDay(machine.Runs, local_days{drawn.front() / 1},
                                                  local_days{(drawn.back() + months{1}) / 1});
    for (size_t i = 0; i < drawn.size(); i++) {
        if (i > 0 && drawn[i] != drawn[i - 1] + months{1})
            page.Gap(drawn[i - 1] + months{1}, drawn[i] - months{1});
        page.Month(machine.Runs, machine.Totals, drawn[i], segments, machine.Schedule.Minute, logged, floor<days>(Now));
    }
}

void SvgPicture::WriteTo(std::ostream& out, bool standalone)
{
    int height = Y + 12;
    if (standalone)
        out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << PageWidth << "\" height=\"" << height
        << "\" viewBox=\"0 0 " << PageWidth << " " << height
        << "\" font-family=\"DejaVu Sans, Verdana, Arial, sans-serif\" fill=\"#000000\">\n"
        << "<title>Verdimoor uptime</title>\n"
        << "<rect width=\"" << PageWidth << "\" height=\"" << height << "\" fill=\"#FFFFFF\"/>\n";
    CopyFromStart(Body, out);
    out << "</svg>\n";
}

void CopyFromStart(std::iostream& from, std::ostream& out)
{
    from.flush();
    from.seekg(0);
    char block[1 << 16];
    while (from) {
        from.read(block, sizeof block);
        out.write(block, from.gcount());
    }
    from.clear();
}

void PrintSvg(std::ostream& out, const std::vector<MachineReport>& machines, const Selection& selected, LocalMinute now,
              bool standalone)
{
    bool scheduled = false;
    for (const MachineReport& machine : machines)
        scheduled = scheduled || machine.Schedule.Minute;
    std::stringstream body;
    SvgPicture picture(body, selected, scheduled, now);
    for (const MachineReport& machine : machines)
        picture.Draw(machine);
    picture.WriteTo(out, standalone);
}

}  // namespace report
