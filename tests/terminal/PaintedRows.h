#ifndef SKELLAN_TESTS_TERMINAL_PAINTEDROWS_H
#define SKELLAN_TESTS_TERMINAL_PAINTEDROWS_H

#include <string>
#include <vector>

// The rows of a screen as TmuxTerminal::AttributedScreen gives it, in a form
// a test can compare: cells with the default attributes as their text, each
// run of cells with other attributes as {ATTRIBUTES:text}. ATTRIBUTES are
// the SGR parameters that set them from the default, in a fixed order: the
// attributes by number, then the foreground colour, then the background
// ("7", "1;32", "34;44"). Blanks at a row's end with the default
// attributes are dropped.
std::vector<std::string> PaintedRows(const std::string &capture);

#endif
