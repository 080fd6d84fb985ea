#include "TranslateCommand.h"

#include <cstdio>

int RunTranslateCommand(int, char**) {
    std::fputs("translate: not built yet\n", stderr);
    return 1;
}
