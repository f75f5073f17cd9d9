// SPDX-License-Identifier: Apache-2.0
// Text as the service stores and reads it: LF written as CR LF; CR dropped and
// 0x1A taken as the end on reading.
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
    reader->Ended = false;
}

int ReadTextChar(TextReader* reader)
{
    for (;;) {
        if (reader->Ended)
            return TextEnd;
        if (reader->Position == reader->Length) {
            reader->Length = ReadFileBytes(reader->File, reader->Buffer, sizeof reader->Buffer);
            reader->Position = 0;
            if (reader->Length <= 0) {
                reader->Ended = true;
                continue;
            }
        }
        unsigned char c = static_cast<unsigned char>(reader->Buffer[reader->Position++]);
        if (c == 0x1A) {
            reader->Ended = true;
            continue;
        }
        if (c != '\r')
            return c;
    }
}
