// The temporary file sits in the target's own folder, so that the rename
// stays within one file system, and its name does not end in ".prom", so
// that a collector passing by ignores it.
#include "report/output.h"

#include <cstdio>
#include <random>
#include <system_error>

#include "report/host.h"

namespace report {

bool WriteOutputFile(const std::filesystem::path& file, std::string_view bytes, std::string& error)
{
    std::random_device random;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%08x%08x.tmp", random(), random());
    std::filesystem::path temporary = file;
    temporary.replace_filename("." + file.filename().string() + suffix);
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
