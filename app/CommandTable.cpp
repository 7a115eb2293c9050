#include "CommandTable.h"

#include "PStringList.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {
const char *const commandWords[] = {"connect", "close", "exit"};

// Built during static initialisation, before the program entry runs.
const PStringList commands(sizeof commandWords / sizeof commandWords[0], commandWords, true);
} // namespace

CommandTable::Code CommandTable::Lookup(const PString &word) {
  return static_cast<Code>(commands.GetValuesIndex(word));
}

std::size_t CommandTable::LongestWord() {
  std::size_t longest = 0;
  for (const char *word : commandWords)
    longest = std::max(longest, std::strlen(word));
  return longest;
}

std::vector<std::string> CommandTable::Words() {
  return std::vector<std::string>(std::begin(commandWords), std::end(commandWords));
}
