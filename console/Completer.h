#ifndef SKELLAN_CONSOLE_COMPLETER_H
#define SKELLAN_CONSOLE_COMPLETER_H

#include <string>
#include <vector>

// What Tab may put in place of the word before the cursor; the shell knows
// its commands and where pipe names go.
class Completer {
public:
  // Every word that starts with `word`, the line's bytes before it being
  // `before`.
  virtual std::vector<std::string> Candidates(const std::string &before,
                                              const std::string &word) = 0;

protected:
  ~Completer() = default;
};

#endif
