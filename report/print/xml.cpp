// SPDX-License-Identifier: Apache-2.0
// XML escaping of UTF-8 text.
#include "report/print/xml.h"

#include "report/core/utf8.h"

namespace report {

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
        if (length == 1 && byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r')
            length = 0;  // control characters are not allowed in XML 1.0
        if (length == 0) {
            escaped += Utf8Replacement;
            ++i;
        } else {
            escaped.append(text.substr(i, length));
            i += length;
        }
    }
    return escaped;
}

}  // namespace report
