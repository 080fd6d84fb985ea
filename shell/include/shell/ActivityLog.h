// Reporting of the service: the activity log (export pane + daily file), the
// write-off pane line, and the pieces of the unexpected-error handler.
#pragma once
#include <ctime>
#include <string>

class TfmDEZORiv;

namespace shell {

// Appends date-time text + " - " + message to mmOrdemTecel, then the same
// line (with a fresh date-time text, CR LF, UTF-8) to
// sPath + "Logs/Brevant/Brevant_YYMMDD.log". Never fails: a folder or file
// that cannot be written only loses the file line.
void ActivityLog(TfmDEZORiv& form, const std::string& message);

// Appends date-time text + "-" + message to Memo1.
void WriteOffLine(TfmDEZORiv& form, const std::string& message);

// Folder of the activity log below the service folder: sPath + "Logs/Brevant/".
std::string ActivityLogFolder(const std::string& servicePath);
// "Brevant_" + YYMMDD + ".log" for the given local day.
std::string ActivityLogFileName(const std::tm& day);
// Appends one line + CR LF to today's activity-log file; swallows every error.
void AppendActivityLogLine(const std::string& servicePath, const std::string& line) noexcept;

}  // namespace shell
