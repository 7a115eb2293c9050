#ifndef SKELLAN_CONSOLE_LINEBUFFER_H
#define SKELLAN_CONSOLE_LINEBUFFER_H

#include "Char.h"

#include <cstddef>
#include <string>
#include <vector>

// The line being edited and the cursor in it, counted in characters.
class LineBuffer {
public:
  const std::vector<Char> &Chars() const { return chars; }
  std::size_t Cursor() const { return cursor; }
  bool IsEmpty() const { return chars.empty(); }
  // The line's bytes as they go to the pipe.
  std::string Bytes() const;
  static std::string BytesOf(const std::vector<Char> &chars);

  void Set(const std::vector<Char> &line);
  void Clear() { Set({}); }
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
  void Erase(std::size_t from, std::size_t to);

  std::vector<Char> chars;
  std::size_t cursor = 0;
};

#endif
