// `dezoriv translate --dialect FB|PG|Ora`: translates one house-dialect
// statement read from standard input.
#pragma once

int RunTranslateCommand(int argc, char** argv);
