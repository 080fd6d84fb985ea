// The built dezoriv program as a child process, and its console output.
#pragma once
#include <string>
#include <vector>

#include "test_support/ChildProcess.h"

namespace testsupport {

// `program --dir folder --headless --once` in the C locale (dd/mm/yyyy
// stamps, decimal comma), without a display, output captured.
ChildOptions ServiceOnce(const std::string& program, const std::string& folder);

// The lines of one pane ("Memo1" or "mmOrdemTecel") in console output,
// without their "[pane] " prefix and date-time stamp; a continuation line
// (a line break inside a message) is joined to its line with "\n".
std::vector<std::string> PaneLines(const std::string& output, const std::string& pane = "Memo1");

// Removes the "dd/mm/yyyy hh:mm:ss-" stamp at the start of a pane line
// (any locale's: everything up to the first '-').
std::string WithoutStamp(const std::string& line);

}  // namespace testsupport
