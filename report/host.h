// What the command line program asks of the host.
#pragma once

#include <string>
#include <vector>

#include "report/model.h"

namespace report {

// The command line in UTF-8 (on Windows from its wide form, whatever the
// code page).
std::vector<std::string> Utf8Arguments(int argc, char** argv);
// The folder that holds the running executable, in UTF-8; "." when unknown.
std::string ProgramFolder();
// The local clock, to the minute.
LocalMinute LocalNow();

}  // namespace report
