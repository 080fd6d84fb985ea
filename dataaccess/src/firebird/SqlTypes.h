// Firebird's type codes of result columns (XSQLVAR::sqltype without its
// NULL bit), including those of Firebird 4 and later that Firebird 3's
// ibase.h does not define, and their names for messages.
#pragma once
#include <ibase.h>

#include <string>

#ifndef SQL_TIMESTAMP_TZ_EX
#define SQL_TIMESTAMP_TZ_EX 32748
#endif
#ifndef SQL_TIME_TZ_EX
#define SQL_TIME_TZ_EX 32750
#endif
#ifndef SQL_INT128
#define SQL_INT128 32752
#endif
#ifndef SQL_TIMESTAMP_TZ
#define SQL_TIMESTAMP_TZ 32754
#endif
#ifndef SQL_TIME_TZ
#define SQL_TIME_TZ 32756
#endif
#ifndef SQL_DEC16
#define SQL_DEC16 32760
#endif
#ifndef SQL_DEC34
#define SQL_DEC34 32762
#endif

namespace kvdriver::firebird {

// "INT128", "DECFLOAT(34)", ...; "desconhecido" for a code Firebird does not define.
std::string SqlTypeName(int sqltype);

}  // namespace kvdriver::firebird
