// SPDX-License-Identifier: Apache-2.0
// Writing an output file in one step: a temporary file renamed over it.
//
// The temporary file sits in the target's own folder, so that the rename
// stays within one file system, and its name does not end in ".prom", so
// that a collector passing by ignores it.
#include "report/program/output-file.h"

#include <cstdio>
#include <random>
#include <string>
#include <system_error>

#include "report/program/program-host.h"

namespace report {

bool WriteOutputFile(const std::filesystem::path& file, std::string_view bytes, std::string& error)
{
    std::random_device random;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%08x%08x.tmp", random(), random());
    // Built from UTF-8 pieces: a narrow string would pass through the code page on Windows.
    std::u8string name(1, u8'.');
    name += file.filename().u8string();
    name.append(suffix, suffix + std::char_traits<char>::length(suffix));
    std::filesystem::path temporary = file.parent_path() / name;
    if (!WriteNewFile(temporary, bytes, error))
        return false;
    if (!RenameOver(temporary, file, error)) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        return false;
    }
    return true;
}

}  // namespace report
