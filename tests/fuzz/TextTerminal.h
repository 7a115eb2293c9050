#ifndef SKELLAN_TESTS_FUZZ_TEXTTERMINAL_H
#define SKELLAN_TESTS_FUZZ_TEXTTERMINAL_H

#include "MaskModel.h"

#include <cstddef>
#include <string>

// A terminal that takes nothing but text and SGRs: it reads what a program
// writes and refuses the first byte that could do more than print or
// colour, keeping the text it shows and whether its attributes are at
// their default. It obeys an SGR as a terminal does: one of more than
// maxParameters parameters it drops, as the Linux console and tmux do; one
// that selects a font (10 to 19, on the Linux console a way to make 0x9B a
// CSI) it refuses too.
class TextTerminal {
public:
  // UTF-8 when `highByteIsText` is null; `colours` false for a console
  // that takes no sequences at all; `editor` true for the line editor's
  // output, whose own cursor and erase sequences (console/Terminal.h) it
  // takes as well.
  TextTerminal(MaskModel::HighByteIsText highByteIsText, bool colours, bool editor = false);

  // A terminal just reset, for the next connection.
  void Restart();
  // Reads bytes written to the terminal: appends the text shown to `shown`
  // and for each byte of it to `reversed` 1 when reverse video is on, else
  // 0. False, with `problem` saying why, at a byte that is neither text nor
  // part of a sequence it takes.
  bool Read(const char *bytes, std::size_t length, std::string &shown, std::string &reversed,
            std::string &problem);
  // Every attribute at its default: none set since the last reset but
  // reverse video, and that off again.
  bool AtDefault() const { return !reverse && !attributes; }

  static constexpr std::size_t maxParameters = 16;

private:
  // Obeys the SGR whose parameters are p[0..n); false for a font.
  bool Obey(const unsigned char *p, std::size_t n);
  // The length of the editor's sequence at p[0] (an ESC), 0 if it is none.
  std::size_t EditorSequence(const unsigned char *p, std::size_t n) const;

  MaskModel::HighByteIsText highByteIsText;
  bool colours;
  bool editor;
  bool attributes = false; // one other than reverse video was set
  bool reverse = false;
};

#endif
