// Number text for SQL statements.
#pragma once
#include <string>

namespace shell {

// Number for a statement: up to 15 significant digits, "." always, no
// thousands separator, shortest form (3, 12.5, -0.25), exponent outside
// 0.00001 <= |x| < 1E15 (1E-6, 1E20).
std::string NumberText(double value);

}  // namespace shell
