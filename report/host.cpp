#include "report/host.h"

#include <ctime>
#include <filesystem>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shellapi.h>
#endif

namespace report {

namespace {

std::string Utf8Of(const std::filesystem::path& path)
{
    std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace

#ifdef _WIN32

std::vector<std::string> Utf8Arguments(int argc, char** argv)
{
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        arguments.assign(argv, argv + argc);
        return arguments;
    }
    for (int i = 0; i < count; i++) {
        int length = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string text(length > 0 ? static_cast<size_t>(length) : 1, '\0');
        if (length > 0)
            WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, text.data(), length, nullptr, nullptr);
        text.resize(text.size() - 1);
        arguments.push_back(text);
    }
    LocalFree(wide);
    return arguments;
}

std::string ProgramFolder()
{
    std::wstring name(32768, L'\0');
    DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0 || length >= name.size())
        return ".";
    name.resize(length);
    return Utf8Of(std::filesystem::path(name).parent_path());
}

#else

std::vector<std::string> Utf8Arguments(int argc, char** argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

std::string ProgramFolder()
{
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || self.empty())
        return ".";
    return Utf8Of(self.parent_path());
}

#endif

LocalMinute LocalNow()
{
    std::time_t now = std::time(nullptr);
    std::tm* local = std::localtime(&now);
    if (local == nullptr)
        return {};
    using namespace std::chrono;
    year_month_day date{year{local->tm_year + 1900}, month{static_cast<unsigned>(local->tm_mon + 1)},
                        day{static_cast<unsigned>(local->tm_mday)}};
    return local_days{date} + hours{local->tm_hour} + minutes{local->tm_min};
}

}  // namespace report
