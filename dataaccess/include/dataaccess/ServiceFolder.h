// The one place that knows the service folder and the executable's folder.
// The service folder holds DEZORiv.ini, Recebidos, Processados and Logs; the
// program sets it once at start-up, and until then it is the executable's
// folder. Every folder given back ends with '/'.
#pragma once
#include <string>

// The folder of the running executable: where /proc/self/exe points; when
// that cannot be read, the folder of `argv0` (made absolute) when given,
// else the current folder.
std::string ExecutableFolder(const char* argv0 = nullptr);

// The service folder: the one set, else the executable's folder.
std::string ApplicationFolder();
// Sets the service folder for the whole process ("" goes back to the
// executable's folder).
void SetApplicationFolder(const std::string& folder);

// The folder with a trailing '/' ("" stays "").
std::string WithTrailingSlash(std::string folder);
