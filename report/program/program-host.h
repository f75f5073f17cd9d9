// SPDX-License-Identifier: Apache-2.0
// What the program asks of the host: its arguments and folder, the machine's
// name, the files it writes, and the temporary file it removes
// when it is interrupted. program-host-posix.cpp and program-host-win32.cpp
// provide it; the other rooms never call it.
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

// What an output's name stands for: an existing file that is not a regular
// one (a device, a FIFO, a terminal), to be written into as it is; else the
// file at the end of its symbolic links, to be replaced in one step.
struct OutputTarget {
    bool WriteInto = false;
    std::filesystem::path File;
};
OutputTarget ResolveOutput(const std::filesystem::path& file);

// The files the program writes, as FileIds of platform/platform.h; false,
// with the system's message, on failure. A new file must not exist yet; it
// is removed if the program is interrupted (Ctrl-C, SIGTERM) before
// KeepOnInterrupt.
bool CreateNewFile(const std::filesystem::path& path, std::intptr_t& file, std::string& error);
bool OpenToWriteInto(const std::filesystem::path& path, std::intptr_t& file, std::string& error);
void KeepOnInterrupt();
bool WriteToFile(std::intptr_t file, std::string_view bytes, std::string& error);
// Flushes the file to stable storage first when sync is set.
bool CloseWrittenFile(std::intptr_t file, bool sync, std::string& error);
// Standard output, on Windows with the console's line ends, CR LF.
bool WriteToStandardOutput(std::string_view bytes, std::string& error);

// Renames from over to in one step: a reader sees the old file or the new one.
bool RenameOver(const std::filesystem::path& from, const std::filesystem::path& to, std::string& error);

}  // namespace report
