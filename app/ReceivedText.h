#ifndef SKELLAN_APP_RECEIVEDTEXT_H
#define SKELLAN_APP_RECEIVEDTEXT_H

#include "ReceivedOutput.h"

#include <cstddef>
#include <string>
#include <string_view>

class TextMask;

// What the operator is shown of the bytes a server sends. Where standard
// output is no terminal, the bytes themselves; on a terminal, the mask's
// form of them (TextMask), so that no server can drive the terminal. A
// message's piece starts afresh; a stream's text, and the parts of a long
// piece, go on across runs, a character or a sequence cut between two
// judged whole. The mask's form comes in parts of a bounded size (see
// TextMask::MostShown), however many bytes are masked, and after each part
// the terminal's attributes are the default ones again, so that the
// shell's own output never wears a server's colour.
class ReceivedText {
public:
  // Without a mask, every byte is shown as it is.
  explicit ReceivedText(TextMask *mask);

  // Takes a received piece; Next gives what to show of it. A message's
  // piece that ends ends its text; a stream's text, and an unended piece's,
  // may go on in the next. The bytes must stay until Next has given it all.
  void Take(const ReceivedOutput::Piece &piece);
  // The end of the connection: what the mask still held is to be shown as
  // it stands. False when nothing is left, and Next gives nothing.
  bool TakeRest();
  // The next part to show, valid until the next call; false once all was
  // given. A run gives at least one part, empty for an empty run.
  bool Next(std::string_view &part);
  // Whether another part of the run follows the one Next gave last.
  bool More() const { return remaining > 0; }

  // Text the program shows but did not write, such as a pipe's name: on a
  // terminal its controls are shown in the mask's notation, never obeyed.
  std::string Quoted(const char *text) const;

  // The most bytes of a run judged at once.
  static constexpr std::size_t sliceLength = 1024;

private:
  TextMask *mask;
  const char *bytes = nullptr;
  std::size_t remaining = 0;
  bool endsText = false;
  bool given = true;  // the run's last part was given
  bool rest = false;  // the run is what the mask held at the end
  std::string masked; // kept from part to part, so that its room stays
};

#endif
