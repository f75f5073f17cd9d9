// SPDX-License-Identifier: Apache-2.0
// Writing an output: to standard output, into a device or FIFO as it is, or
// to a file in one step, for readers such as textfile collectors that must
// never see half a file.
#pragma once

#include <functional>
#include <ostream>
#include <string>

namespace report {

// Writes what print prints to the output name names: "-" is standard
// output; an existing file that is not a regular one (a device, a FIFO) is
// written into as it is; else a temporary file in the folder of the file at
// the end of name's symbolic links is renamed over that file once it is
// whole and on stable storage. False, with the reason, on failure, leaving
// the file as it was and no temporary file behind.
bool WriteOutput(const std::string& name, const std::function<void(std::ostream&)>& print, std::string& error);

// Whether two outputs' names name one file.
bool SameOutput(const std::string& first, const std::string& second);

}  // namespace report
