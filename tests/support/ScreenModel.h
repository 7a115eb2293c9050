#ifndef SKELLAN_TESTS_SUPPORT_SCREENMODEL_H
#define SKELLAN_TESTS_SUPPORT_SCREENMODEL_H

#include <cstddef>
#include <string>
#include <vector>

// A small VT screen: what a terminal shows after the bytes the editor
// writes. It knows exactly the control sequences the editor may use (see
// console/Terminal.h) and SGR, which passes in what a server sends, and
// notes any other, so a test also fails when the
// editor writes something a console backend would have to guess at. A
// character's width comes from its code point: CJK ideographs and Hangul
// syllables take two columns, as wcwidth says.
class ScreenModel {
public:
  ScreenModel(int columns, int rows);

  void Feed(const std::string &bytes);
  // Changes the size, reflowing rows wider than the new width as tmux does.
  void Resize(int columns, int rows);

  // A row as shown, blanks at its end dropped; a wide character's second
  // cell holds nothing.
  std::string Row(int row) const;
  // All rows, blanks dropped, empty rows at the end too.
  std::vector<std::string> Rows() const;
  int CursorColumn() const { return column; }
  int CursorRow() const { return row; }
  // The sequences written that the model does not know.
  const std::vector<std::string> &Unknown() const { return unknown; }
  // Every character written while an SGR had set attributes, in order.
  const std::string &Coloured() const { return coloured; }
  // The screen with row numbers and the cursor, for a failure message.
  std::string Picture() const;

  static int WidthOf(unsigned codePoint);

private:
  void Put(const std::string &glyph, int width);
  void LineFeed();
  void ReverseLineFeed();
  void Erase(int row, int from);
  std::size_t Escape(const std::string &bytes, std::size_t at);

  int columns;
  int rows;
  std::vector<std::vector<std::string>> cells;
  int column = 0;
  int row = 0;
  bool pendingWrap = false;
  int savedColumn = 0;
  int savedRow = 0;
  // The parameters of the SGRs in effect since the last that reset all,
  // and those saved with the cursor.
  std::string rendition;
  std::string savedRendition;
  std::string coloured;
  std::vector<std::string> unknown;
};

#endif
