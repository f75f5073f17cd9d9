// SPDX-License-Identifier: Apache-2.0
// The power-off schedule each folder's runs are held against: --schedule's,
// or the folder's PowerOFF.txt read by the service's own reader.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "report/core/model.h"

namespace report {

// --schedule's value: "H:MM" on a 24-hour clock, "H MM" as PowerOFF.txt
// holds it, in which a number with a leading 0 must mean to the service what
// it says ("08 30" does not), or "none"; nothing when it is none of them.
std::optional<PowerOffSchedule> ParseScheduleOption(std::string_view text);

// The folder's PowerOFF.txt as the service reads it: known with the minute it
// names, or with none when the clock never shows that time (24 0, 7 60);
// unknown when there is no such file, or, with the system's reason in
// problem, when it cannot be read. What else the text holds is in note, in
// the service's words ("begins with "none", read as 00:00"); empty when the
// file holds the time alone. The schedule is judged from the minute the file
// was last written, which the service read when it started.
PowerOffSchedule ReadFolderSchedule(const std::filesystem::path& folder, std::string& problem, std::string& note);

}  // namespace report
