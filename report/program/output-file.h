// SPDX-License-Identifier: Apache-2.0
// Writing an output: to standard output, into a device or FIFO as it is, or
// to a file in one step, for readers such as textfile collectors that must
// never see half a file; and the scratch files that an output is put
// together from.
#pragma once

#include <cstdint>
#include <functional>
#include <iostream>
#include <memory>
#include <string>

#include "report/program/program-host.h"

namespace report {

class FileBuffer;

// An output from Open to Commit. "-" is standard output; an existing file
// that is not a regular one (a device, a FIFO) is written into as it is;
// else a new file in the folder of the name, or of the file its links lead
// to when the caller or root owns them, is renamed over that name once it
// is whole and on stable storage. Left uncommitted, it leaves the file as
// it was and no temporary file behind.
class OutputFile {
public:
    OutputFile();
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // False, with what failed, when it cannot be opened. With hostLineEnds
    // its lines end as the host's text files' do (CR LF on Windows).
    bool Open(const std::string& name, std::string& error, bool hostLineEnds = false);
    std::ostream& Stream() { return Out; }
    // False, with what failed ("cannot write: No space left on device"),
    // when what was written cannot be put in place.
    bool Commit(std::string& error);

private:
    friend class ScratchFile;
    bool Standard = false;
    bool Opened = false;
    OutputTarget Target;
    std::unique_ptr<FileBuffer> Buffer;
    std::ostream Out{nullptr};
};

// A file to write and then read back from its start, as many times as
// needed, for the parts of an output that must wait for the rest: no name
// leads to it, and it is gone when closed or when the program ends.
class ScratchFile {
public:
    ScratchFile();
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // Beside the output when that is a new file, once it holds more than
    // memory keeps.
    void Open(const OutputFile& beside);
    std::iostream& Stream() { return Io; }
    // The first write or read that failed ("cannot write a temporary file:
    // reason", "cannot create a temporary file in FOLDER: reason"), or "".
    std::string Error() const;

private:
    std::intptr_t File = -1;
    std::string OpenError;
    std::unique_ptr<FileBuffer> Buffer;
    std::iostream Io{nullptr};
};

// Writes what print prints to the output name names, as OutputFile does.
// False, with what failed, on failure.
bool WriteOutput(const std::string& name, const std::function<void(std::ostream&)>& print, std::string& error);

}  // namespace report
