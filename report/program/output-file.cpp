// SPDX-License-Identifier: Apache-2.0
// Writing an output: the printer's bytes streamed in blocks to standard
// output, into a file as it is, or to a new file put in the output's place;
// and scratch files, written and read back in blocks.
//
// The new file sits in the target's own folder, so that the rename stays
// within one file system; where it has a name before it is whole, the name
// does not end in ".prom", so that a collector passing by ignores it.
#include "report/program/output-file.h"

#include <exception>
#include <functional>
#include <memory>
#include <streambuf>
#include <string_view>

#include "report/core/utf8.h"

namespace report {

// A stream's bytes, written to a file or to standard output a block at a
// time, each line ended with CR LF when crLf, and read back from a file; the
// first error stops it. With open, the file is opened only once the block
// is full: what fits in it stays there.
class FileBuffer : public std::streambuf {
public:
    // file is unused for standard output.
    FileBuffer(std::intptr_t file, bool standardOutput, bool crLf = false, size_t block = 1 << 16,
               std::function<bool(std::intptr_t&)> open = nullptr)
        : File(file), StandardOutput(standardOutput), CrLf(crLf), Block(new char[block]), Size(block),
          Open(std::move(open))
    {
        setp(Block.get(), Block.get() + Size);
    }
    const std::string& Error() const { return Problem; }

protected:
    int_type overflow(int_type c) override
    {
        if (InMemory() && !Open(File)) {
            Problem = "cannot be created";
            return traits_type::eof();
        }
        if (!Drain())
            return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    int sync() override { return InMemory() || Drain() ? 0 : -1; }

    int_type underflow() override
    {
        if (InMemory() || !Drain())
            return traits_type::eof();
        if (!Input)
            Input.reset(new char[InputSize]);
        size_t read = 0;
        if (!ReadFromFile(File, Input.get(), InputSize, read, Problem) || read == 0)
            return traits_type::eof();
        setg(Input.get(), Input.get(), Input.get() + read);
        return traits_type::to_int_type(Input[0]);
    }
    // Only back to the start, for a scratch file read again.
    pos_type seekpos(pos_type position, std::ios_base::openmode) override
    {
        if (position != pos_type(0))
            return pos_type(off_type(-1));
        if (InMemory()) {
            setg(Block.get(), Block.get(), pptr());
            return position;
        }
        if (!Drain() || !RewindFile(File, Problem))
            return pos_type(off_type(-1));
        setg(nullptr, nullptr, nullptr);
        return position;
    }
    pos_type seekoff(off_type offset, std::ios_base::seekdir direction, std::ios_base::openmode which) override
    {
        return direction == std::ios_base::beg ? seekpos(pos_type(offset), which) : pos_type(off_type(-1));
    }

private:
    bool InMemory() const { return Open && File < 0; }

    bool Drain()
    {
        if (!Problem.empty())
            return false;
        std::string_view bytes(pbase(), static_cast<size_t>(pptr() - pbase()));
        setp(Block.get(), Block.get() + Size);
        if (bytes.empty())
            return true;
        if (CrLf)
            bytes = WithCrLf(bytes);
        bool written = StandardOutput ? WriteToStandardOutput(bytes, Problem) : WriteToFile(File, bytes, Problem);
        if (!written && Problem.empty())
            Problem = "cannot write";
        return written;
    }

    // The bytes with CR before each LF, in a room of their own.
    std::string_view WithCrLf(std::string_view bytes)
    {
        Converted.clear();
        for (size_t at = 0; at < bytes.size();) {
            size_t end = bytes.find('\n', at);
            if (end == std::string_view::npos) {
                Converted.append(bytes.substr(at));
                break;
            }
            Converted.append(bytes.substr(at, end - at)).append("\r\n");
            at = end + 1;
        }
        return Converted;
    }

    std::intptr_t File;
    bool StandardOutput;
    bool CrLf;
    std::string Converted;
    // Left uninitialized: memory holds what was written, not the room for it.
    std::unique_ptr<char[]> Block;
    size_t Size;
    std::function<bool(std::intptr_t&)> Open;
    static constexpr size_t InputSize = 1 << 16;
    std::unique_ptr<char[]> Input;
    std::string Problem;
};

OutputFile::OutputFile() = default;

OutputFile::~OutputFile()
{
    if (Opened && !Standard)
        AbandonOutput(Target);
}

bool OutputFile::Open(const std::string& name, std::string& error, bool hostLineEnds)
{
    PrepareOutputs();
    Standard = name == "-";
    if (!Standard && !OpenOutput(PathOf(name), Target, error))
        return false;
    Opened = true;
    Buffer = std::make_unique<FileBuffer>(Target.File, Standard, hostLineEnds && TextLinesEndWithCrLf);
    Out.rdbuf(Buffer.get());
    return true;
}

bool OutputFile::Commit(std::string& error)
{
    Out.flush();
    if (!Buffer->Error().empty() || !Out) {
        error = "cannot write: " + (Buffer->Error().empty() ? std::string("an error of the printer") : Buffer->Error());
        return false;
    }
    Opened = false;
    return Standard || CommitOutput(Target, error);
}

ScratchFile::ScratchFile() = default;

ScratchFile::~ScratchFile()
{
    if (File >= 0)
        CloseFile(File);
}

void ScratchFile::Open(const OutputFile& beside)
{
    // A megabyte is kept in memory, so that an ordinary picture needs no file.
    OutputTarget target = beside.Target;
    Buffer = std::make_unique<FileBuffer>(-1, false, false, 1 << 20, [this, target](std::intptr_t& file) {
        if (!OpenScratchFile(target, File, OpenError))
            return false;
        file = File;
        return true;
    });
    Io.rdbuf(Buffer.get());
}

std::string ScratchFile::Error() const
{
    if (!OpenError.empty())
        return OpenError;
    if (Buffer && !Buffer->Error().empty())
        return "cannot write a temporary file: " + Buffer->Error();
    return "";
}

bool WriteOutput(const std::string& name, const std::function<void(std::ostream&)>& print, std::string& error)
{
    OutputFile output;
    if (!output.Open(name, error))
        return false;
    // An exception from the printer, out of memory, is a failure too, so
    // that what began is removed.
    try {
        print(output.Stream());
    } catch (const std::exception& e) {
        error = std::string("cannot write: ") + e.what();
        return false;
    }
    return output.Commit(error);
}

}  // namespace report
