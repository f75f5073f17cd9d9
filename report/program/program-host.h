// SPDX-License-Identifier: Apache-2.0
// What the program asks of the host: its arguments and folder, the machine's
// name, and files written in one step. program-host-posix.cpp and
// program-host-win32.cpp provide it; the other rooms never call it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace report {

// The command line in UTF-8 (on Windows from its wide form, whatever the
// code page).
std::vector<std::string> Utf8Arguments(int argc, char** argv);
// The folder that holds the running executable; "." when unknown.
std::filesystem::path ProgramFolder();

// Whether the host's file names match whatever their letters' case.
extern const bool FileNamesIgnoreCase;

// The machine's name, or "" when the system does not tell it.
std::string HostName();

// Creates the file, which must not exist yet, writes bytes to it and flushes
// them to stable storage; false, with the system's message, on failure.
bool WriteNewFile(const std::filesystem::path& file, std::string_view bytes, std::string& error);

// Opens a file to read, as the service opens its schedule: a FileId of
// platform/platform.h, or NoFile when it is missing or not a regular file;
// then, unless it is missing, with the system's message in error.
std::intptr_t OpenFileToRead(const std::filesystem::path& file, std::string& error);

// Renames from over to in one step: a reader sees the old file or the new one.
bool RenameOver(const std::filesystem::path& from, const std::filesystem::path& to, std::string& error);

}  // namespace report
