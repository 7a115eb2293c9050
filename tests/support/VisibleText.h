#ifndef SKELLAN_TESTS_SUPPORT_VISIBLETEXT_H
#define SKELLAN_TESTS_SUPPORT_VISIBLETEXT_H

#include <cstddef>
#include <string>

// Up to `most` bytes of `text` from `from` on, for a failure message: CR,
// LF, TAB and NUL as \r, \n, \t and \0, a backslash and a double quote
// escaped, every other byte that is no printable ASCII as \xHH, and the
// text's length where it goes on.
std::string VisibleText(const std::string &text, std::size_t from = 0, std::size_t most = 200);

#endif
