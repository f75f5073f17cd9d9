// SPDX-License-Identifier: Apache-2.0
// What the program asks of the host: its arguments and folder, the machine's
// name, what a folder's entries are, the files it writes, and the temporary
// files it removes when it is interrupted. program-host-posix.cpp and program-host-win32.cpp
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
// A path as it compares with another without looking at the disk: absolute,
// without . and .., in the case the host's file names ignore.
std::string ComparedPath(const std::filesystem::path& path);
// The argument that alone asks for the help as the host's own tools take
// it ("/?" on Windows), or "".
extern const char* const HelpArgument;
// Whether the host's text files end their lines with CR LF.
extern const bool TextLinesEndWithCrLf;

// What a name in a folder is, as the folder's listing tells it: something
// at all (a link too, wherever it leads), a folder or a link to one, and a
// symbolic link (on Windows a junction too).
struct EntryKind {
    bool Exists = false;
    bool Folder = false;
    bool Link = false;
};
EntryKind KindOf(const std::filesystem::directory_entry& entry);
EntryKind KindOf(const std::filesystem::path& path);
// The system's message for the folder that could not be listed last, or
// reported, the standard library's, where the host has none of its own.
std::string ListingProblem(const std::string& reported);
// What the command line's quoting may have done to an argument that names
// nothing, to say after the error, or "": on Windows a backslash before a
// closing quote escapes it, and the quote and the arguments after it end up
// in the folder's name.
std::string QuotingHint(const std::string& argument);

// The machine's name, or "" when the system does not tell it.
std::string HostName();

// An output being written: an existing device, FIFO or terminal written
// into as it is, or a new file that takes the output's name once it is
// whole. File is a FileId of platform/platform.h; the rest is the host's.
struct OutputTarget {
    std::intptr_t File = -1;
    bool WriteInto = false;
    std::intptr_t Folder = -1;        // where the new file goes
    std::string FolderShown;          // as the errors name it
    std::filesystem::path Name;       // the output's own name there
    std::filesystem::path Temporary;  // the new file's name while it is written, when it has one
};

// Done once before the first output is opened: a signal that ends the
// program removes the new files first, and a write past the file size limit
// is an error rather than the end of the program.
void PrepareOutputs();

// Opens what an output's name leads to. A symbolic link is followed only
// when the caller or root owns it; a FIFO that no one reads is an error at
// once. A new file is created 0644, less the umask; one that replaces a
// file takes that file's mode. False, with what failed ("cannot create a
// temporary file in FOLDER: reason"), on failure.
bool OpenOutput(const std::filesystem::path& name, OutputTarget& output, std::string& error);
// Closes the output; a new file is first flushed to stable storage and
// renamed over the output's name in one step: a reader sees the old file or
// the new one. False, with what failed, leaving nothing behind.
bool CommitOutput(OutputTarget& output, std::string& error);
// Closes the output and removes its new file.
void AbandonOutput(OutputTarget& output);
// Where an output's name leads, as a text that two names of one file share,
// whether the file exists yet or not; "" when it cannot be told.
std::string OutputPlace(const std::filesystem::path& name);

// A file for the program's own use, with no name that leads to it: beside
// the output when that is a new file, else in the system's folder for
// temporary files. It is gone when it is closed or the program ends.
bool OpenScratchFile(const OutputTarget& beside, std::intptr_t& file, std::string& error);
// Reads up to size bytes; read is 0 at the end.
bool ReadFromFile(std::intptr_t file, char* bytes, size_t size, size_t& read, std::string& error);
bool RewindFile(std::intptr_t file, std::string& error);
void CloseFile(std::intptr_t file);

bool WriteToFile(std::intptr_t file, std::string_view bytes, std::string& error);
// Standard output and standard error, UTF-8 bytes as they are; a console on
// Windows is written its own wide characters, so that every name shows as
// it is. Standard error goes through the C library's stream, buffered as
// it is set.
bool WriteToStandardOutput(std::string_view bytes, std::string& error);
void WriteToStandardError(std::string_view text);

}  // namespace report
