// SPDX-License-Identifier: Apache-2.0
// Writing an output to a file in one step, for readers such as textfile
// collectors that must never see half a file.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace report {

// Writes bytes to a temporary file in the folder of file, flushes it and
// renames it over file; false, with the reason, on failure, leaving file as it was.
bool WriteOutputFile(const std::filesystem::path& file, std::string_view bytes, std::string& error);

}  // namespace report
