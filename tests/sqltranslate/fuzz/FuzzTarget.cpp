// libFuzzer entry over the translator (built by scripts/fuzz-translate.sh).
#include "../FuzzTranslate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return FuzzTranslateOne(data, size); }
