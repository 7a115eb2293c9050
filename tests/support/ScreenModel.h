#ifndef SKELLAN_TESTS_SUPPORT_SCREENMODEL_H
#define SKELLAN_TESTS_SUPPORT_SCREENMODEL_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A terminal's screen: what a terminal shows after the bytes a program
// writes to it. It takes exactly what console/Terminal.h lets the line
// editor and the mask write: text in the terminal's encoding, CR, LF, TAB,
// SGR and, on a terminal that takes them, the editor's cursor and erase
// sequences. Anything else it notes (Unknown()), so that a test fails on a
// byte or sequence a console backend would have to guess at; so is an SGR
// that selects a font (10 to 19, on the Linux console a way to make 0x9B a
// CSI) or has more parameters than a terminal keeps. It keeps each cell
// with its attributes, as the SGRs set them. A character's width comes from
// its code point: CJK ideographs and Hangul syllables take two columns, as
// wcwidth says.
class ScreenModel {
public:
  // The terminal's encoding: UTF-8 when all are null; else a code page
  // whose high bytes are characters of one byte where `single` says so,
  // and of two where `lead` starts one that `pair` accepts (Shift JIS).
  struct Encoding {
    using Byte = bool (*)(unsigned char);
    using Pair = bool (*)(unsigned char, unsigned char);
    Encoding(Byte single = nullptr, Byte lead = nullptr, Pair pair = nullptr)
        : single(single), lead(lead), pair(pair) {}
    Byte single;
    Byte lead;
    Pair pair;
  };
  // The escape sequences the terminal takes: none (a Windows console
  // without virtual-terminal processing), SGR only, or SGR and the line
  // editor's own.
  enum class Sequences { None, Sgr, Editor };

  ScreenModel(int columns, int rows, Sequences sequences = Sequences::Editor);
  ScreenModel(int columns, int rows, Sequences sequences, Encoding encoding);

  // Reads bytes as the terminal does; a character cut at the end waits
  // for the rest in the next bytes.
  void Feed(const std::string &bytes);
  // Reads bytes that must stand on their own, no character cut at their
  // end. Appends the text they show (characters, CR, LF and TAB, in
  // order) to `shown`, and for each byte of it '\1' to `reversed` when
  // reverse video was on, else '\0'. False when the bytes hold anything
  // the terminal does not take, `problem` saying what and where.
  bool Read(const char *bytes, std::size_t length, std::string &shown, std::string &reversed,
            std::string &problem);
  // Changes the size, reflowing rows wider than the new width as tmux does.
  void Resize(int columns, int rows);
  // A terminal just reset, as for a new connection: the screen blank, the
  // cursor home, every attribute at its default, nothing noted.
  void Restart();

  // A row as shown, blanks at its end dropped; a wide character's second
  // cell holds nothing.
  std::string Row(int row) const;
  // All rows, blanks dropped, empty rows at the end too.
  std::vector<std::string> Rows() const;
  // The rows with their attributes: cells with the default attributes as
  // their text, each run of cells with others as {ATTRIBUTES:text}, where
  // ATTRIBUTES are the SGR parameters that set them from the default in a
  // fixed order: the attributes by number, then the foreground, the
  // background and the underline colour ("7", "1;32", "34;44"). Blanks at a
  // row's end with the default attributes are dropped.
  std::vector<std::string> PaintedRows() const;
  int CursorColumn() const { return column; }
  int CursorRow() const { return row; }
  // What was written that the terminal does not take, each whole.
  const std::vector<std::string> &Unknown() const { return unknown; }
  // Every character written while an attribute was set, in order.
  const std::string &Coloured() const { return coloured; }
  // Whether every attribute is at its default.
  bool AtDefault() const { return paint == 0; }
  // The screen with row numbers and the cursor, for a failure message.
  std::string Picture() const;

  static int WidthOf(unsigned codePoint);
  // The length of the UTF-8 character at p[0] when it is well formed and
  // no C1 control, else 0.
  static std::size_t Utf8Length(const unsigned char *p, std::size_t n);
  // The length of the SGR (ESC [ digits, ';' and ':' m) at bytes[at], 0
  // when there is none.
  static std::size_t SgrLength(const std::string &bytes, std::size_t at);
  // The bytes with every SGR taken out.
  static std::string WithoutSgr(const std::string &bytes);

  // The most parameters of one SGR that a terminal keeps, as the Linux
  // console and tmux do.
  static constexpr std::size_t maxParameters = 16;

private:
  // Small and free of pointers: a fuzzer's leak checks scan every cell.
  struct Cell {
    char glyph[4] = {' '};
    std::uint8_t size = 1;
    std::uint32_t paint = 0; // the attributes: an index in `paints`
  };
  struct Attributes {
    std::vector<unsigned> numbered; // bold, underline, reverse and the like, in order
    std::string foreground, background, underline;
  };

  void Process(const char *bytes, std::size_t length, bool whole, std::string *shown,
               std::string *reversed);
  // The length of the character at p[0], 0 when it is none; `cut` set when
  // it may be one whose rest has not come.
  std::size_t CharacterLength(const unsigned char *p, std::size_t n, bool &cut) const;
  std::size_t Escape(const unsigned char *p, std::size_t n, std::size_t at);
  // Obeys an SGR; what it refuses to obey, or null.
  const char *Sgr(std::string_view text);
  bool Reverse() const;
  // Takes the paint of the attributes now set.
  void Repaint();
  void Note(const std::string &what, const unsigned char *p, std::size_t n, std::size_t at,
            std::size_t length);
  void Put(const char *glyph, std::size_t size, int width);
  void LineFeed();
  void ReverseLineFeed();
  void Erase(int row, int from);
  std::string Painted(int row) const;

  int columns;
  int rows;
  const Sequences sequences;
  const Encoding encoding;
  std::vector<std::vector<Cell>> cells;
  int column = 0;
  int row = 0;
  bool pendingWrap = false;
  int savedColumn = 0;
  int savedRow = 0;
  Attributes attributes, savedAttributes;
  // Every set of attributes a cell has had, as the SGR parameters of
  // PaintedRows; the first, "", is the default. `paint` is the one in use.
  std::vector<std::string> paints{""};
  std::uint32_t paint = 0;
  std::string scratch;
  // The start of a character cut at the end of the last Feed.
  std::string pending;
  std::string coloured;
  std::vector<std::string> unknown;
  // The first thing noted since Read began.
  std::string firstProblem;
};

#endif
