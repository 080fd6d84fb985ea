#include "shell/Version.h"

#ifndef DEZORIV_VERSION
#define DEZORIV_VERSION "0"
#endif

namespace shell {

const char* ProgramVersion() { return DEZORIV_VERSION; }

}  // namespace shell
