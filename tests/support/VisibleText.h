#ifndef SKELLAN_TESTS_SUPPORT_VISIBLETEXT_H
#define SKELLAN_TESTS_SUPPORT_VISIBLETEXT_H

#include <cstddef>
#include <string>

// Up to `most` bytes of `text` from `from` on, for a failure message: the
// unprintable ones as \xHH, and "..." where the text goes on.
std::string VisibleText(const std::string &text, std::size_t from = 0, std::size_t most = 200);

#endif
