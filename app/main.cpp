#include <cstring>

#include "TranslateCommand.h"

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "translate") == 0)
        return RunTranslateCommand(argc - 1, argv + 1);
    return 0;
}
