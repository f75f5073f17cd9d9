// SPDX-License-Identifier: Apache-2.0
// Text as the service stores and reads it: LF written as CR LF; CR dropped and
// 0x1A taken as the end on reading, in the encoding a byte-order mark names.
#include "uptime/text.h"

size_t StoreText(const char* text, char* stored)
{
    size_t length = 0;
    for (; *text != '\0'; text++) {
        if (*text == '\n')
            stored[length++] = '\r';
        stored[length++] = *text;
    }
    return length;
}

void StartTextReader(TextReader* reader, FileId file)
{
    reader->File = file;
    reader->Length = 0;
    reader->Position = 0;
    reader->Encoding = TextNotStarted;
    reader->FileEnded = false;
    reader->Ended = false;
}

// Adds what the file holds next to the buffer; false at its end or on an error.
static bool FillTextBuffer(TextReader* reader)
{
    long count = reader->FileEnded ? 0
                                   : ReadFileBytes(reader->File, reader->Buffer + reader->Length,
                                                   sizeof reader->Buffer - static_cast<size_t>(reader->Length));
    if (count <= 0)
        reader->FileEnded = true;
    else
        reader->Length += count;
    return count > 0;
}

// The encoding that the file's byte-order mark names, the mark skipped; bytes
// without one.
static void FindTextEncoding(TextReader* reader)
{
    while (reader->Length < 3 && FillTextBuffer(reader)) {
    }
    const unsigned char* start = reinterpret_cast<const unsigned char*>(reader->Buffer);
    reader->Encoding = TextBytes;
    if (reader->Length >= 3 && start[0] == 0xEF && start[1] == 0xBB && start[2] == 0xBF) {
        reader->Position = 3;
    } else if (reader->Length >= 2 && start[0] == 0xFF && start[1] == 0xFE) {
        reader->Encoding = TextUtf16Le;
        reader->Position = 2;
    } else if (reader->Length >= 2 && start[0] == 0xFE && start[1] == 0xFF) {
        reader->Encoding = TextUtf16Be;
        reader->Position = 2;
    }
}

// The next byte of the file, or TextEnd.
static int ReadTextByte(TextReader* reader)
{
    if (reader->Position == reader->Length) {
        reader->Length = 0;
        reader->Position = 0;
        if (!FillTextBuffer(reader))
            return TextEnd;
    }
    return static_cast<unsigned char>(reader->Buffer[reader->Position++]);
}

int ReadTextChar(TextReader* reader)
{
    if (reader->Encoding == TextNotStarted)
        FindTextEncoding(reader);
    while (!reader->Ended) {
        int c = ReadTextByte(reader);
        if (c != TextEnd && reader->Encoding != TextBytes) {
            // A last byte without its pair is no character.
            int second = ReadTextByte(reader);
            if (second == TextEnd)
                c = TextEnd;
            else
                c = reader->Encoding == TextUtf16Le ? c | second << 8 : c << 8 | second;
        }
        if (c == TextEnd || c == 0x1A)
            reader->Ended = true;
        else if (c != '\r')
            return c;
    }
    return TextEnd;
}
