#ifndef SKELLAN_APP_RECEIVEDTEXT_H
#define SKELLAN_APP_RECEIVEDTEXT_H

#include <cstddef>
#include <string>
#include <string_view>

class TextMask;

// What the operator is shown of the bytes a server sends. Where standard
// output is no terminal, the bytes themselves; on a terminal, the mask's
// form of them (TextMask), so that no server can drive the terminal. A
// message's piece starts afresh; a stream's text, and the parts of a long
// piece, go on across runs, a character or a sequence cut between two
// judged whole. After each run the terminal's attributes are the default
// ones again, so that the shell's own output never wears a server's colour.
class ReceivedText {
public:
  // Without a mask, every byte is shown as it is.
  explicit ReceivedText(TextMask *mask);

  // What to show for a run of received bytes with the receiver's flags;
  // valid until the next call.
  std::string_view Of(const char *bytes, std::size_t length, unsigned flags);
  // The end of the connection: what the mask still held, shown as it
  // stands; empty when nothing is left.
  std::string_view Rest();

private:
  TextMask *mask;
  std::string masked; // kept from run to run, so that its room stays
};

#endif
