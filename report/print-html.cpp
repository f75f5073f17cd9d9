// SPDX-License-Identifier: Apache-2.0
// The web page printer: the picture, the summary and the table of runs in
// one page that holds nothing fetched from elsewhere. The picture is inline
// SVG, the style sheet is in the page, and there are no scripts.
#include <sstream>
#include <string>

#include "report/print.h"
#include "report/xml.h"

namespace report {

void PrintHtml(std::ostream& out, const std::vector<MachineReport>& machines, const Selection& selected)
{
    // The summary and the table as the text output prints them, in a
    // fixed-width font.
    std::ostringstream text;
    PrintText(text, machines, true);
    std::string title = "Verdimoor uptime";
    if (machines.size() == 1)
        title += ": " + machines.front().Folder;
    out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n"
        << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"/>\n"
        << "<title>" << XmlEscape(title) << "</title>\n"
        << "<style>\n"
        << "body { margin: 1em auto; max-width: 960px; padding: 0 8px; color: #000; background: #fff;"
        << " font-family: \"DejaVu Sans\", Verdana, Arial, sans-serif; }\n"
        << "svg { display: block; width: 100%; height: auto; }\n"
        << "pre { font-family: \"DejaVu Sans Mono\", Consolas, monospace; font-size: 12px;"
        << " overflow-x: auto; }\n"
        << "</style>\n</head>\n<body>\n";
    PrintSvg(out, machines, selected, false);
    out << "<pre>" << XmlEscape(text.str()) << "</pre>\n</body>\n</html>\n";
}

}  // namespace report
