// SPDX-License-Identifier: Apache-2.0
// Writing an output: the printer's bytes streamed in blocks to standard
// output, into a file as it is, or to a temporary file renamed over the
// output.
//
// The temporary file sits in the target's own folder, so that the rename
// stays within one file system, and its name does not end in ".prom", so
// that a collector passing by ignores it.
#include "report/program/output-file.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <random>
#include <streambuf>
#include <system_error>
#include <vector>

#include "report/core/utf8.h"
#include "report/program/folders.h"
#include "report/program/program-host.h"

namespace report {

namespace {

namespace fs = std::filesystem;

// A stream's bytes, written to a file or to standard output a block at a
// time; the first error stops it.
class WrittenBuffer : public std::streambuf {
public:
    // file is unused for standard output.
    WrittenBuffer(std::intptr_t file, bool standardOutput) : File(file), StandardOutput(standardOutput), Block(1 << 16)
    {
        setp(Block.data(), Block.data() + Block.size());
    }
    const std::string& Error() const { return Problem; }

protected:
    int_type overflow(int_type c) override
    {
        if (!Drain())
            return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    int sync() override { return Drain() ? 0 : -1; }

private:
    bool Drain()
    {
        if (!Problem.empty())
            return false;
        std::string_view bytes(pbase(), static_cast<size_t>(pptr() - pbase()));
        setp(Block.data(), Block.data() + Block.size());
        bool written = StandardOutput ? WriteToStandardOutput(bytes, Problem) : WriteToFile(File, bytes, Problem);
        if (!written && Problem.empty())
            Problem = "cannot write";
        return written;
    }

    std::intptr_t File;
    bool StandardOutput;
    std::vector<char> Block;
    std::string Problem;
};

// Prints to the file, or to standard output; false, with the reason, on
// failure. An exception from the printer, out of memory, is a failure too,
// so that the caller removes what it began.
bool Print(std::intptr_t file, bool standardOutput, const std::function<void(std::ostream&)>& print, std::string& error)
{
    WrittenBuffer buffer(file, standardOutput);
    std::ostream out(&buffer);
    try {
        print(out);
        out.flush();
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    if (!buffer.Error().empty() || !out) {
        error = buffer.Error().empty() ? "cannot write" : buffer.Error();
        return false;
    }
    return true;
}

// ".verdimoor.prom.0123456789abcdef.tmp" beside the file.
fs::path TemporaryBeside(const fs::path& file)
{
    std::random_device random;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%08x%08x.tmp", random(), random());
    // Built from UTF-8 pieces: a narrow string would pass through the code page on Windows.
    std::u8string name(1, u8'.');
    name += file.filename().u8string();
    name.append(suffix, suffix + std::char_traits<char>::length(suffix));
    return file.parent_path() / name;
}

// A temporary file, removed unless it became the output.
struct Temporary {
    fs::path Path;
    bool Created = false;
    bool Renamed = false;
    ~Temporary()
    {
        std::error_code ignored;
        if (Created && !Renamed)
            fs::remove(Path, ignored);
        KeepOnInterrupt();
    }
};

}  // namespace

bool WriteOutput(const std::string& name, const std::function<void(std::ostream&)>& print, std::string& error)
{
    if (name == "-")
        return Print(0, true, print, error);
    OutputTarget target = ResolveOutput(PathOf(name));
    std::intptr_t file;
    std::string ignored;
    if (target.WriteInto) {
        if (!OpenToWriteInto(target.File, file, error))
            return false;
        bool printed = Print(file, false, print, error);
        return CloseWrittenFile(file, false, printed ? error : ignored) && printed;
    }
    Temporary temporary{TemporaryBeside(target.File)};
    if (!CreateNewFile(temporary.Path, file, error))
        return false;
    temporary.Created = true;
    bool printed = Print(file, false, print, error);
    if (!CloseWrittenFile(file, true, printed ? error : ignored) || !printed)
        return false;
    temporary.Renamed = RenameOver(temporary.Path, target.File, error);
    return temporary.Renamed;
}

bool SameOutput(const std::string& first, const std::string& second)
{
    if (first == "-" || second == "-")
        return first == second;
    fs::path a = ResolveOutput(PathOf(first)).File;
    fs::path b = ResolveOutput(PathOf(second)).File;
    std::error_code error;
    return fs::equivalent(a, b, error) || ComparedPath(a) == ComparedPath(b);
}

}  // namespace report
