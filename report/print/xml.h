// SPDX-License-Identifier: Apache-2.0
// Text in XML, which the picture and the web page write.
#pragma once

#include <string>
#include <string_view>

namespace report {

// Escapes text for XML character data and attribute values; bytes that are
// not UTF-8, and the characters XML does not allow (controls, U+FFFE,
// U+FFFF), become U+FFFD, so that a strange folder name cannot break the
// document.
std::string XmlEscape(std::string_view text);

}  // namespace report
