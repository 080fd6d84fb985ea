// Moving files between the service's folders without ever replacing one,
// and the file-name part of a path.
#pragma once
#include <string>

namespace shell {

// Moves a file without replacing an existing target. False when the source
// is missing, the target exists, or the move fails.
bool MoveFileNoReplace(const std::string& from, const std::string& to);

// Moves a file to `to` + `suffix` without replacing anything. When that name
// is taken, the file gets a new name that starts with `to`: to + "." +
// YYYYMMDD-HHMMSS (local time) + suffix, then to + "." + YYYYMMDD-HHMMSS +
// "-2" + suffix, "-3" and so on. Gives the path the file now has, or "" when
// the source is missing or the move fails for another reason.
std::string MoveFileUnique(const std::string& from, const std::string& to, const std::string& suffix = "");

// The file-name part of a path ("" for "").
std::string ExtractFileName(const std::string& path);

}  // namespace shell
