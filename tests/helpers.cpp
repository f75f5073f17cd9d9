// SPDX-License-Identifier: Apache-2.0
// What the tests share: temporary folders, whole files, a time zone, and a
// thread without the power to bypass file permissions.
#include "helpers.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <ftw.h>
#include <linux/capability.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

TempDir::TempDir(const char* base)
{
    std::string pattern = std::string(base) + "/verdimoor-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        abort();
    Root = pattern;
}

static int RemoveEntry(const char* path, const struct stat*, int, struct FTW*)
{
    chmod(path, 0700);
    return remove(path);
}

TempDir::~TempDir()
{
    chmod(Root.c_str(), 0700);
    nftw(Root.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string TempDir::Path(const std::string& name) const
{
    return Root + "/" + name;
}

InZone::InZone(const char* zone)
{
    setenv("TZ", zone, 1);
    tzset();
}

InZone::~InZone()
{
    unsetenv("TZ");
    tzset();
}

InFolder::InFolder(const TempDir& folder)
{
    char previous[4096];
    if (getcwd(previous, sizeof previous) == nullptr || chdir(folder.Path().c_str()) != 0)
        abort();
    Previous = previous;
}

InFolder::~InFolder()
{
    if (chdir(Previous.c_str()) != 0)
        abort();
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return "<missing>";
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

void WriteWholeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << bytes;
}

void WriteScheduleFile(const std::string& path, const std::string& bytes, int64_t written)
{
    WriteWholeFile(path, bytes);
    timespec times[2] = {};
    times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(written);
    utimensat(AT_FDCWD, path.c_str(), times, 0);
}

bool FileExists(const std::string& path)
{
    return access(path.c_str(), F_OK) == 0;
}

// The capability calls act on the calling thread alone.
static __user_cap_data_struct SavedCapabilities[2];

WithoutFileOverride::WithoutFileOverride()
{
    __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    syscall(SYS_capget, &header, SavedCapabilities);
    __user_cap_data_struct reduced[2] = {SavedCapabilities[0], SavedCapabilities[1]};
    reduced[0].effective &= ~(1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH | 1u << CAP_FOWNER);
    syscall(SYS_capset, &header, reduced);
}

WithoutFileOverride::~WithoutFileOverride()
{
    __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    syscall(SYS_capset, &header, SavedCapabilities);
}
