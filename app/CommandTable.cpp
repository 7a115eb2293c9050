#include "CommandTable.h"

#include "PStringList.h"

#include <iterator>

namespace {
const char *const commandWords[] = {"connect", "close", "exit"};

// Built during static initialisation, before the program entry runs.
const PStringList commands(sizeof commandWords / sizeof commandWords[0], commandWords, true);
} // namespace

CommandTable::Code CommandTable::Lookup(const PString &word) {
  return static_cast<Code>(commands.GetValuesIndex(word));
}

std::vector<std::string> CommandTable::Words() {
  return std::vector<std::string>(std::begin(commandWords), std::end(commandWords));
}
