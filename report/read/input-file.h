// SPDX-License-Identifier: Apache-2.0
// A file the report reads, a log or a PowerOFF.txt, as a stranger may have
// left it in a folder: opened without following a link at its end or
// waiting on a FIFO, and read only when it is a regular file.
// input-file-posix.cpp and input-file-win32.cpp provide it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace report {

class InputFile {
public:
    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();

    // Opens file; false, with the system's reason or what the file is
    // instead, when it cannot be read: a symbolic link, a FIFO, a device, a
    // folder. Missing tells a file that does not exist from the others.
    bool Open(const std::filesystem::path& file, std::string& problem);
    bool Missing() const { return Absent; }

    // The open file, as platform/platform.h's FileId.
    std::intptr_t Handle() const { return File; }
    int64_t Size() const { return Length; }
    std::optional<int64_t> Modified() const { return ModifiedSeconds; }  // Unix seconds

    // Reads up to size bytes at offset: how many, 0 at the end, -1 on error.
    int64_t ReadAt(int64_t offset, char* buffer, size_t size);
    // The bytes from offset on that are stored, [first, last): those before
    // first are a hole and read as zeros; first is -1 when only a hole is
    // left. Where the host keeps no holes, or the file has none, from
    // offset to the end.
    void NextData(int64_t offset, int64_t& first, int64_t& last);

private:
    std::intptr_t File = -1;
    int64_t Length = 0;
    std::optional<int64_t> ModifiedSeconds;
    bool Absent = false;
    bool Sparse = false;  // fewer bytes stored than it holds: it may have holes
};

}  // namespace report
