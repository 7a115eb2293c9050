#include "PlainConsole.h"

#include "PConsole.h"

#include <ostream>

PlainConsole::PlainConsole(std::ostream &stream, const std::string &prompt, TextMask *mask)
    : stream(stream), prompt("\r" + prompt), text(mask) {}

bool PlainConsole::Prompt() {
  {
    std::lock_guard<std::mutex> lock(box);
    if (refused) {
      refused = false;
      return false;
    }
    if (!promptLeft) {
      // Tried under the box's lock: a holder that this try finds looks in
      // the box after its turn, which it cannot do before the prompt is in.
      PConsole::Hold turn(std::try_to_lock);
      if (!turn.Owns()) {
        promptLeft = true;
        return true;
      }
    }
  }
  return Reply(prompt.data(), prompt.size());
}

bool PlainConsole::Reply(const char *bytes, std::size_t length) {
  const bool written = PConsole::Write(stream, bytes, length);
  WriteLeft();
  return written;
}

std::string PlainConsole::Quoted(const char *name) const { return text.Quoted(name); }

bool PlainConsole::Show(const char *bytes, std::size_t length, unsigned flags) {
  text.Take(bytes, length, flags);
  return Frame(flags);
}

void PlainConsole::Ended() {
  // What the mask held, a stream's text cut short, shows as a piece.
  if (text.TakeRest())
    Frame(OpensPiece | ClosesPiece);
}

bool PlainConsole::Frame(unsigned flags) {
  bool shown;
  {
    PConsole::Hold turn;
    if (flags & OpensPiece)
      stream.put('\r');
    // Part by part, so that no more than a part is held for the stream.
    for (std::string_view part; text.Next(part);)
      stream.write(part.data(), static_cast<std::streamsize>(part.size()));
    if (flags & ClosesPiece)
      stream.write(prompt.data() + 1, static_cast<std::streamsize>(prompt.size() - 1));
    shown = EndTurn(!(flags & MoreFollows));
  }
  WriteLeft();
  return shown;
}

bool PlainConsole::EndTurn(bool flush) {
  bool left;
  {
    std::lock_guard<std::mutex> lock(box);
    left = promptLeft;
    promptLeft = false;
  }
  if (left)
    stream.write(prompt.data(), static_cast<std::streamsize>(prompt.size()));
  if (flush || left)
    stream.flush();
  const bool good = stream.good();
  if (left && !good) {
    std::lock_guard<std::mutex> lock(box);
    refused = true;
  }
  return good;
}

void PlainConsole::WriteLeft() {
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(box);
      if (!promptLeft)
        return;
    }
    PConsole::Hold turn;
    EndTurn(false);
  }
}
