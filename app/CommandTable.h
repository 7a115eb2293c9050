#ifndef SKELLAN_APP_COMMANDTABLE_H
#define SKELLAN_APP_COMMANDTABLE_H

#include "PString.h"

#include <string>
#include <vector>

// The shell's command words. A lookup ignores letter case but needs the
// whole word.
class CommandTable {
public:
  enum Code : PINDEX { Connect = 0, Close = 1, Exit = 2, NotACommand = P_MAX_INDEX };

  static Code Lookup(const PString &word);
  // The length of the longest word: no longer word can be a command.
  static std::size_t LongestWord();
  // The words, as a completion offers them.
  static std::vector<std::string> Words();
};

#endif
