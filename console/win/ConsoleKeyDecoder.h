#ifndef SKELLAN_CONSOLE_WIN_CONSOLEKEYDECODER_H
#define SKELLAN_CONSOLE_WIN_CONSOLEKEYDECODER_H

#include "CodePage.h"
#include "ControlString.h"
#include "Key.h"

#include <string>
#include <vector>

// Turns the Windows console's key records into keys. A typed character's
// bytes are those a cooked read of the same key gives in the input code
// page, so a line has the same bytes typed or piped in; its glyph is in
// the output code page. The strings a terminal answers queries with are no
// keys: a console that reads a VT terminal (Wine's) passes them on as
// characters, an ESC and the character behind it as that character with
// Alt. Free of <windows.h>, so that it is tested natively.
class ConsoleKeyDecoder {
public:
  // The fields of a KEY_EVENT_RECORD that matter here.
  struct Record {
    bool down = true;
    unsigned repeat = 1;
    unsigned short virtualKey = 0;
    char16_t unit = 0; // uChar.UnicodeChar: one UTF-16 code unit
    unsigned long controlState = 0;
  };

  // Virtual-key codes and control-key states, as <windows.h> has them.
  enum : unsigned short {
    VkBack = 0x08,
    VkTab = 0x09,
    VkReturn = 0x0d,
    VkShift = 0x10,
    VkControl = 0x11,
    VkMenu = 0x12,
    VkCapital = 0x14,
    VkEnd = 0x23,
    VkHome = 0x24,
    VkLeft = 0x25,
    VkUp = 0x26,
    VkRight = 0x27,
    VkDown = 0x28,
    VkDelete = 0x2e,
    VkLeftWindows = 0x5b,
    VkRightWindows = 0x5c,
    VkNumLock = 0x90,
    VkScroll = 0x91,
  };
  enum : unsigned long {
    RightAltPressed = 0x01,
    LeftAltPressed = 0x02,
    RightCtrlPressed = 0x04,
    LeftCtrlPressed = 0x08,
  };

  ConsoleKeyDecoder(const CodePage &input, const CodePage &output);

  // The keys one record gives: none for a released key or a lone modifier,
  // as many as its repeat count otherwise.
  std::vector<Key> Decode(const Record &record);
  // Whether a string, a control sequence or an ESC waits for the records
  // behind it, which a terminal's answer sends at once.
  bool Waiting() const { return controlString.Inside() || inSequence || escaped; }
  // Nothing more came soon: a string ends unfinished, and the next record
  // is a key again.
  void Flush();
  // Bytes in the input code page split into characters, as typing them
  // would give them.
  std::vector<Char> Characters(const std::string &bytes) const;
  // The character that these UTF-16 units (one, or a surrogate pair) type.
  Char CharOf(const std::u16string &units) const;

private:
  // Whether the record starts, continues or ends a string.
  bool ReadsString(const Record &record);
  // Whether the record starts, continues or ends a control sequence.
  bool ReadsSequence(const Record &record, bool behindEscape);
  Key KeyOf(const Record &record, const std::u16string &units) const;

  const CodePage &input;
  const CodePage &output;
  // The first half of a surrogate pair, which comes in a record of its own.
  char16_t high = 0;
  ControlString controlString{true};
  // The last key was ESC, which may introduce a string or a sequence.
  bool escaped = false;
  // Inside a control sequence (ESC [) that the console handed on as
  // characters: a terminal's answer to a query (ESC[?1;2c), never typed.
  bool inSequence = false;
};

#endif
