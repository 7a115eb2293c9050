#ifndef SKELLAN_APP_SHELLCOMPLETER_H
#define SKELLAN_APP_SHELLCOMPLETER_H

#include "Completer.h"

// Tab on a terminal: a command word first, then after `connect` (and
// `connect -c`) the name of a pipe that exists right now.
class ShellCompleter : public Completer {
public:
  std::vector<std::string> Candidates(const std::string &before, const std::string &word) override;
};

#endif
