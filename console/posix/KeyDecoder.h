#ifndef SKELLAN_CONSOLE_POSIX_KEYDECODER_H
#define SKELLAN_CONSOLE_POSIX_KEYDECODER_H

#include "ControlString.h"
#include "Key.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// Turns the bytes a VT terminal sends into keys: control bytes, escape
// sequences (read whole, known or not), the strings the terminal answers
// queries with (read over whole), bracketed paste, and characters, UTF-8 or
// one byte each as the locale has it.
class KeyDecoder {
public:
  // Columns one UTF-8 character takes; negative when it is not printable.
  using WidthOf = std::function<int(const std::string &utf8)>;

  KeyDecoder(bool utf8, WidthOf width);

  void Feed(const char *bytes, std::size_t length);
  // The next whole key fed; false while the bytes so far end inside one.
  bool Next(Key &key);
  // Whether bytes are waiting for the rest of a key: a lone ESC, which is
  // the Escape key if nothing follows soon, or a string not yet ended.
  bool Waiting() const { return consumed < input.size() || controlString.Inside(); }
  // Takes what waits as complete: nothing more is coming for it. A string
  // ends there, so that an Alt key that happens to introduce one swallows
  // only what is typed right behind it.
  void Flush();

  // Bytes of text split into characters, as typing them would.
  std::vector<Char> Characters(const std::string &bytes) const;

private:
  // Decodes one key at input[at]; 0 when it needs more bytes.
  std::size_t Decode(std::size_t at, bool complete, Key &key);
  std::size_t DecodeEscape(std::size_t at, bool complete, Key &key);
  std::size_t DecodeChar(std::size_t at, bool complete, Char &c) const;
  std::size_t DecodeInPaste(std::size_t at, bool complete, Key &key);
  // Takes the input up to the string's end; true when it ended.
  bool Swallow();

  bool utf8;
  WidthOf width;
  std::string input;
  // The bytes of `input` already decoded: dropped at the next Feed, not
  // one key at a time, so that a read of many keys costs the same per key.
  std::size_t consumed = 0;
  bool pasting = false;
  bool afterReturn = false; // in a paste, a line feed after CR ends no second line
  bool flushing = false;
  ControlString controlString;
};

#endif
