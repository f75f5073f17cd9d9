// What the report asks of the operating system beyond the C++ library; one
// source per host: host-posix.cpp, host-win32.cpp.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace report {

// The machine's name, or "" when the system does not tell it.
std::string HostName();

// Creates the file, which must not exist yet, writes bytes to it and flushes
// them to stable storage; false, with the system's message, on failure.
bool WriteNewFile(const std::filesystem::path& file, std::string_view bytes, std::string& error);

// Renames from over to in one step: a reader sees the old file or the new one.
bool ReplaceFile(const std::filesystem::path& from, const std::filesystem::path& to,
                 std::string& error);

}  // namespace report
