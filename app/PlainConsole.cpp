#include "PlainConsole.h"

#include <ostream>

PlainConsole::PlainConsole(std::ostream &stream, const std::string &prompt, TextMask *mask)
    : stream(stream), prompt("\r" + prompt), text(mask) {}

bool PlainConsole::Prompt() {
  if (refused.exchange(false))
    return false;
  // One owed already: this one waits for the stream, as a write does, so
  // that a stuck stream still stops the shell.
  if (promptOwed.exchange(true)) {
    std::lock_guard<std::mutex> lock(streamMutex);
    WritePrompt();
    stream.flush();
    return stream.good();
  }
  // Owed first, then tried: a writer that this try finds looks for an owed
  // prompt once it lets go, which is after the prompt is owed.
  std::unique_lock<std::mutex> lock(streamMutex, std::try_to_lock);
  if (!lock.owns_lock())
    return true;
  if (promptOwed.exchange(false))
    WritePrompt();
  stream.flush();
  return stream.good();
}

bool PlainConsole::Reply(const char *bytes, std::size_t length) {
  bool written;
  {
    std::lock_guard<std::mutex> lock(streamMutex);
    held.append(bytes, length);
    written = EndWriting(true);
  }
  PayOwedPrompt();
  return written;
}

std::string PlainConsole::Quoted(const char *name) const { return text.Quoted(name); }

bool PlainConsole::Show(const Piece *pieces, std::size_t count) {
  bool shown;
  {
    std::lock_guard<std::mutex> lock(streamMutex);
    for (std::size_t i = 0; i < count; ++i) {
      text.Take(pieces[i]);
      Frame(pieces[i].starts, pieces[i].ends);
    }
    shown = EndWriting(true);
  }
  PayOwedPrompt();
  return shown;
}

void PlainConsole::Ended() {
  // What the mask held, a stream's text cut short, shows as a piece.
  if (!text.TakeRest())
    return;
  {
    std::lock_guard<std::mutex> lock(streamMutex);
    Frame(true, true);
    EndWriting(true);
  }
  PayOwedPrompt();
}

void PlainConsole::Frame(bool starts, bool ends) {
  if (starts)
    held.push_back('\r');
  for (std::string_view part; text.Next(part);) {
    held.append(part);
    if (held.size() >= heldLimit)
      WriteHeld();
  }
  if (ends)
    held.append(prompt, 1);
}

void PlainConsole::WritePrompt() {
  stream.write(prompt.data(), static_cast<std::streamsize>(prompt.size()));
}

void PlainConsole::WriteHeld() {
  stream.write(held.data(), static_cast<std::streamsize>(held.size()));
  held.clear();
}

bool PlainConsole::EndWriting(bool flush) {
  WriteHeld();
  // Looked at after the write, so that a prompt posted while it went on
  // still shares its flush.
  const bool owed = promptOwed.exchange(false);
  if (owed)
    WritePrompt();
  if (flush || owed)
    stream.flush();
  const bool good = stream.good();
  if (owed && !good)
    refused = true;
  return good;
}

void PlainConsole::PayOwedPrompt() {
  while (promptOwed) {
    std::lock_guard<std::mutex> lock(streamMutex);
    EndWriting(false);
  }
}
