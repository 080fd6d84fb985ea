// Upper case of UTF-8 text, accented letters included (ASCII-only upper
// case is textutil::UpperAscii).
#pragma once
#include <string>

namespace shell {

// Upper case of every letter, accented ones included (UTF-8). Bytes that
// form no UTF-8 character are kept as they are.
std::string UpperCaseText(const std::string& text);

}  // namespace shell
