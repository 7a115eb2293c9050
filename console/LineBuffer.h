#ifndef SKELLAN_CONSOLE_LINEBUFFER_H
#define SKELLAN_CONSOLE_LINEBUFFER_H

#include "Char.h"
#include "CharString.h"

#include <cstddef>
#include <string>
#include <vector>

// The line being edited and the cursor in it, counted in characters.
class LineBuffer {
public:
  const CharString &Chars() const { return chars; }
  std::size_t Cursor() const { return cursor; }
  bool IsEmpty() const { return chars.Empty(); }
  // The line's bytes as they go to the pipe.
  std::string Bytes() const { return chars.Bytes(); }
  static std::string BytesOf(const std::vector<Char> &chars);

  void Set(const CharString &line);
  void Clear();
  void Insert(const Char &c);
  void Insert(const std::vector<Char> &text);
  void MoveTo(std::size_t position);
  void Left() { MoveTo(cursor > 0 ? cursor - 1 : 0); }
  void Right() { MoveTo(cursor + 1); }
  // To the start of this or the previous word, to the end of this or the
  // next; a word is a run of letters and digits.
  void WordLeft();
  void WordRight();

  void Backspace();
  void DeleteUnder();
  void KillToStart();
  void KillToEnd();
  // Back to the previous blank, as Ctrl-W does in a shell.
  void KillBlankWordLeft();
  // Replaces the characters from `start` to the cursor.
  void Replace(std::size_t start, const std::vector<Char> &text);

private:
  bool IsWordChar(std::size_t index) const;
  bool IsBlank(std::size_t index) const;
  void Erase(std::size_t from, std::size_t to);

  CharString chars;
  std::size_t cursor = 0;
};

#endif
