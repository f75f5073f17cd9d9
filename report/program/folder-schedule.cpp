// SPDX-License-Identifier: Apache-2.0
// Each folder's power-off schedule: --schedule parsed, or PowerOFF.txt read
// with the service's own reader, so that the report and the service never
// disagree on what a file means.
#include "report/program/folder-schedule.h"

#include "report/core/text-forms.h"
#include "report/read/input-file.h"
#include "uptime/log-words.h"
#include "uptime/schedule.h"

namespace report {

namespace {

// A number of one or two decimal digits as PowerOFF.txt's text gives it to
// the service, which reads a leading 0 as octal: "08" is refused, for the
// service reads it as 0 and an 8 after it.
std::optional<int> FileNumber(std::string_view digits)
{
    if (digits.empty() || digits.size() > 2 || digits.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    if (digits.size() == 2 && digits[0] == '0' && digits[1] > '7')
        return std::nullopt;
    return digits.size() == 1 ? digits[0] - '0' : (digits[0] - '0') * 10 + (digits[1] - '0');
}

// "22 30", the hour and the minute apart by blanks, as PowerOFF.txt holds them.
std::optional<int> ParseFileForm(std::string_view text)
{
    size_t blank = text.find_first_of(" \t");
    size_t minute = text.find_first_not_of(" \t", blank);
    if (blank == std::string_view::npos || minute == std::string_view::npos)
        return std::nullopt;
    std::optional<int> h = FileNumber(text.substr(0, blank));
    std::optional<int> m = FileNumber(text.substr(minute));
    if (!h || !m || *h > 23 || *m > 59)
        return std::nullopt;
    return *h * 60 + *m;
}

// The minute the file was last written, from which on the service read it
// when it started; none when the host keeps no such time.
std::optional<Moment> WrittenAt(const InputFile& file)
{
    std::optional<int64_t> seconds = file.Modified();
    if (!seconds)
        return std::nullopt;
    int64_t instant = *seconds / 60 - (*seconds % 60 < 0 ? 1 : 0);
    return Moment{LocalZone::LocalOf(*seconds), instant};
}

}  // namespace

std::optional<PowerOffSchedule> ParseScheduleOption(std::string_view text)
{
    if (text == "none")
        return PowerOffSchedule{true, std::nullopt};
    if (std::optional<int> minute = ParseTimeOfDay(text))
        return PowerOffSchedule{true, *minute};
    if (std::optional<int> minute = ParseFileForm(text))
        return PowerOffSchedule{true, *minute};
    return std::nullopt;
}

PowerOffSchedule ReadFolderSchedule(const std::filesystem::path& folder, std::string& problem, std::string& note)
{
    // Read as safely as a log: another user may have left it there.
    InputFile file;
    note.clear();
    if (!file.Open(folder / ScheduleFileName, problem)) {
        if (file.Missing())
            problem.clear();
        return {};
    }
    int32_t hour;
    int32_t minute;
    ScheduleReading reading{};
    ReadPowerOffTime(file.Handle(), &hour, &minute, &reading);
    char text[ScheduleTextSize];
    DescribeScheduleText(reading, hour, minute, text);
    note = text;
    if (!OnTheClock(hour, minute))
        return {true, std::nullopt};
    return {true, hour * 60 + minute, WrittenAt(file)};
}

}  // namespace report
