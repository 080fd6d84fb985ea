// TKVQuery::TranslateSQL: the translation memo and the trace hand-off around
// the house-dialect translator.
#include "dataaccess/TKVQuery.h"

void TKVQuery::TranslateSQL() {}
