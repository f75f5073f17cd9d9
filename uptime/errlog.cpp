// SPDX-License-Identifier: Apache-2.0
// Err.log: one entry per failed handler registration or status report, with
// the system's text for the error.
#include "uptime/errlog.h"

#include <cstdio>
#include <cstring>

#include "uptime/text.h"

char ErrLogPath[PathSize] = "Err.log";

// Keeps the entries of two threads that fail at once from interleaving.
static SRWLOCK ErrorLogLock = SRWLOCK_INIT;

// Room for the entry apart from the message text.
static const size_t EntryOverhead = 64;
// The longest message text written; a longer one is cut.
static const size_t MessageTextLimit = 512;

void LogError(const char* operation)
{
    DWORD code = GetLastError();

    AcquireSRWLockExclusive(&ErrorLogLock);
    FileId file = ErrLogPath[0] == '\0' ? NoFile : OpenFileForUpdate(ErrLogPath, true);
    if (file != NoFile) {
        char* text = nullptr;
        DWORD length =
            FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, code,
                           MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0, nullptr);
        char entry[EntryOverhead + MessageTextLimit];
        int written;
        if (length == 0 || text == nullptr)
            written =
                snprintf(entry, sizeof entry, "Error: %.32s %lu\r\n", operation, static_cast<unsigned long>(code));
        else
            written = snprintf(entry, sizeof entry, "Error: %.32s %.512s", operation, text);
        if (text != nullptr)
            LocalFree(text);

        char stored[2 * sizeof entry];
        int64_t end = written > 0 ? SeekFileEnd(file) : -1;
        if (end >= 0)
            WriteFileBytesAt(file, end, stored, StoreText(entry, stored));
        FlushFileToDisk(file);
        CloseFileId(file);
    }
    ReleaseSRWLockExclusive(&ErrorLogLock);
}
