#ifndef SKELLAN_APP_SHELLOUTPUT_H
#define SKELLAN_APP_SHELLOUTPUT_H

#include "ReceivedOutput.h"

#include <cstddef>
#include <string>

// Standard output as the shell and the receiver share it: the shell's
// replies and the server's pieces, from two threads, each write whole.
// The plain console frames pieces on a stream (PlainConsole); on a
// terminal the line editor draws them above its line (EditorConsole).
class ShellOutput : public ReceivedOutput {
public:
  // Writes a reply line, line feed included; false once the output takes
  // no more.
  virtual bool Reply(const char *bytes, std::size_t length) = 0;
  // Text for a reply that the program did not write itself, such as a
  // pipe's name, as the operator is to see it: on a terminal its controls
  // are shown, never obeyed.
  virtual std::string Quoted(const char *text) const = 0;

protected:
  ~ShellOutput() = default;
};

#endif
