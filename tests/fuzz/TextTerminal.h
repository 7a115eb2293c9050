#ifndef SKELLAN_TESTS_FUZZ_TEXTTERMINAL_H
#define SKELLAN_TESTS_FUZZ_TEXTTERMINAL_H

#include "MaskModel.h"

#include <cstddef>
#include <string>

// A terminal that takes nothing but text and SGRs: it reads what a program
// writes and refuses the first byte that could do more than print or
// colour, keeping the text it shows and whether its attributes are at
// their default.
class TextTerminal {
public:
  // UTF-8 when `highByteIsText` is null; `colours` false for a console
  // that takes no sequences at all.
  TextTerminal(MaskModel::HighByteIsText highByteIsText, bool colours);

  // A terminal just reset, for the next connection.
  void Restart();
  // Reads bytes written to the terminal: appends the text shown to `shown`
  // and for each byte of it to `reversed` 1 when the mask's reverse video
  // (ESC[0;7m) is on, else 0. False, with `problem` saying why, at a byte
  // that is neither text nor part of a whole SGR.
  bool Read(const char *bytes, std::size_t length, std::string &shown, std::string &reversed,
            std::string &problem);
  // No SGR since the last one that reset every attribute.
  bool AtDefault() const { return atDefault; }

private:
  MaskModel::HighByteIsText highByteIsText;
  bool colours;
  bool atDefault = true;
  bool reverse = false;
};

#endif
