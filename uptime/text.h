// SPDX-License-Identifier: Apache-2.0
// Text as the service stores it: each line feed becomes CR LF, and on reading
// every CR is dropped and a byte 0x1A ends the text. The files carry these
// bytes on every host.
#pragma once

#include "platform/platform.h"

// Copies text into stored with each LF written as CR LF; returns the stored
// length. stored holds at least twice the length of text.
size_t StoreText(const char* text, char* stored);

enum TextEncoding { TextNotStarted, TextBytes, TextUtf16Le, TextUtf16Be };

// Reads a stored file as text, one character at a time, from a buffer of its
// own: no heap, and never more of the file than has been asked for. A file
// that begins with a byte-order mark is read in its encoding: UTF-8's mark is
// skipped, and after UTF-16's each two bytes are one character, its code
// unit (CR and 0x1A are then those units).
struct TextReader {
    FileId File;
    char Buffer[512];
    long Length;
    long Position;
    TextEncoding Encoding;
    bool FileEnded;
    bool Ended;
};

const int TextEnd = -1;

void StartTextReader(TextReader* reader, FileId file);
// The next character, or TextEnd at the end of the file, at a byte 0x1A or
// after a read error.
int ReadTextChar(TextReader* reader);
