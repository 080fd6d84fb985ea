// The program's version, as the build gives it.
#pragma once

namespace shell {

const char* ProgramVersion();

}  // namespace shell
