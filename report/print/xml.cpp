// SPDX-License-Identifier: Apache-2.0
// XML escaping of UTF-8 text.
#include "report/print/xml.h"

#include <algorithm>

#include "report/core/utf8.h"

namespace report {

namespace {

// Whether the UTF-8 sequence of length at text[at] is one of XML 1.0's
// characters: no control but tab, LF and CR, no U+FFFE or U+FFFF (a
// surrogate, encoded alone, is no UTF-8 already).
bool IsXmlChar(std::string_view text, size_t at, size_t length)
{
    auto byte = [&text, at](size_t k) { return static_cast<unsigned char>(text[at + k]); };
    if (length == 1)
        return byte(0) >= 0x20 || byte(0) == '\t' || byte(0) == '\n' || byte(0) == '\r';
    if (length == 3)
        return !(byte(0) == 0xEF && byte(1) == 0xBF && byte(2) >= 0xBE);
    return length != 0;
}

}  // namespace

std::string XmlEscape(std::string_view text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        auto byte = static_cast<unsigned char>(text[i]);
        switch (byte) {
        case '&':
            escaped += "&amp;";
            ++i;
            continue;
        case '<':
            escaped += "&lt;";
            ++i;
            continue;
        case '>':
            escaped += "&gt;";
            ++i;
            continue;
        case '"':
            escaped += "&quot;";
            ++i;
            continue;
        case '\'':
            escaped += "&apos;";
            ++i;
            continue;
        default: break;
        }
        size_t length = Utf8SequenceLength(text, i);
        if (!IsXmlChar(text, i, length)) {
            escaped += Utf8Replacement;
            i += std::max<size_t>(length, 1);
        } else {
            escaped.append(text.substr(i, length));
            i += length;
        }
    }
    return escaped;
}

}  // namespace report
