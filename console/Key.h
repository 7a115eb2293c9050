#ifndef SKELLAN_CONSOLE_KEY_H
#define SKELLAN_CONSOLE_KEY_H

#include "Char.h"

// One key as the terminal backend decoded it from escape sequences or
// console records. What a key does to the line is the core's business.
struct Key {
  enum Code {
    Text,    // a character to insert: `text`
    Control, // Ctrl and a letter: `letter` is 'A'..'Z'
    Enter,
    Tab,
    Backspace,
    Delete,
    Left,
    Right,
    Up,
    Down,
    Home,
    End,
    Unknown, // a sequence the backend read whole but does not know
  };

  Code code = Unknown;
  Char text;
  char letter = 0;
  bool ctrl = false; // Ctrl held with an arrow, Home or End
  bool alt = false;  // Alt (Meta, an ESC prefix) held
  // Typed inside a bracketed paste: inserted as it is, never a command.
  bool pasted = false;

  static Key Of(Code code) {
    Key key;
    key.code = code;
    return key;
  }
  static Key Ctrl(char letter) {
    Key key;
    key.code = Control;
    key.letter = letter;
    return key;
  }
};

#endif
