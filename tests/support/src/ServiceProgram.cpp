// Runs of the built program and the pane lines of its console.
#include "test_support/ServiceProgram.h"

#include <regex>
#include <sstream>

namespace testsupport {

ChildOptions ServiceOnce(const std::string& program, const std::string& folder) {
    ChildOptions o;
    o.argv = {program, "--dir", folder, "--headless", "--once"};
    o.env = {{"LC_ALL", "C"}};
    o.unsetEnv = {"DISPLAY", "WAYLAND_DISPLAY"};
    o.workingFolder = folder;
    return o;
}

std::string WithoutStamp(const std::string& line) {
    const auto dash = line.find('-');
    return dash == std::string::npos ? line : line.substr(dash + 1);
}

std::vector<std::string> PaneLines(const std::string& output, const std::string& pane) {
    static const std::regex stamped(R"(^\d\d/\d\d/\d{4} \d\d:\d\d:\d\d-)");
    const std::string prefix = "[" + pane + "] ";
    std::vector<std::string> lines;
    std::istringstream in(output);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(prefix, 0) != 0) continue;
        line.erase(0, prefix.size());
        if (std::regex_search(line, stamped) || lines.empty())
            lines.push_back(WithoutStamp(line));
        else
            lines.back() += "\n" + line;
    }
    return lines;
}

}  // namespace testsupport
