#ifndef SKELLAN_CONSOLE_CHARSTRING_H
#define SKELLAN_CONSOLE_CHARSTRING_H

#include "Char.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// A line of characters, kept compact. Each character takes a cell of
// twelve bytes that holds its bytes and its glyph when neither is longer
// than four bytes, as with every character the backends decode today; a
// longer one is kept aside whole. The cells leave a gap where the line was
// last changed, so that typing, pasting and erasing there cost the same on
// a long line as on a short one; a change elsewhere moves the gap there,
// once, for the distance. The line's width and its number of bytes are
// kept as it changes, never summed.
class CharString {
public:
  CharString() = default;
  // A copy holds the characters alone: no gap, nothing left aside that the
  // line no longer has.
  CharString(const CharString &other);
  CharString &operator=(const CharString &other);
  CharString(CharString &&other) noexcept;
  CharString &operator=(CharString &&other) noexcept;

  std::size_t Size() const { return capacity - gapLength; }
  bool Empty() const { return Size() == 0; }
  // The columns of all glyphs.
  std::size_t Width() const { return width; }

  // One character's parts; the views hold until the string changes.
  std::string_view BytesAt(std::size_t index) const {
    const Cell &cell = CellAt(index);
    return cell.aside ? std::string_view(Aside(cell).bytes)
                      : std::string_view(cell.bytes, cell.byteCount);
  }
  std::string_view GlyphAt(std::size_t index) const {
    const Cell &cell = CellAt(index);
    return cell.aside ? std::string_view(Aside(cell).glyph)
                      : std::string_view(cell.glyph, cell.glyphCount);
  }
  int WidthAt(std::size_t index) const {
    const Cell &cell = CellAt(index);
    return cell.aside ? AsideWidth(cell) : cell.width;
  }

  // The bytes of the characters from `from` up to `to`.
  std::string Bytes(std::size_t from, std::size_t to) const;
  std::string Bytes() const { return Bytes(0, Size()); }
  bool SameBytes(const CharString &other) const;
  // The first character from `start` on from which the bytes begin with
  // `text`; false when none does.
  bool Find(const std::string &text, std::size_t &position, std::size_t start = 0) const;

  void Insert(std::size_t at, const Char &c);
  void Erase(std::size_t from, std::size_t to);
  // Empties the string and gives its memory back.
  void Clear();

private:
  static constexpr std::size_t inPlace = 4;
  static constexpr int widest = 255;
  // A character: its bytes and glyph in place, or, when `aside` is set,
  // the index of the whole character in `setAside`, in `bytes`.
  struct Cell {
    char bytes[inPlace];
    char glyph[inPlace];
    std::uint8_t byteCount;
    std::uint8_t glyphCount;
    std::uint8_t width;
    std::uint8_t aside;
  };
  static_assert(sizeof(Cell) == 12, "a character in twelve bytes");

  const Cell &CellAt(std::size_t index) const {
    return cells[index < gapStart ? index : index + gapLength];
  }
  const Char &Aside(const Cell &cell) const;
  // A negative width, which no backend gives, counts as none.
  int AsideWidth(const Cell &cell) const;
  Cell Pack(const Char &c);
  // Counts the cell into the kept width and bytes, or out of them.
  void Count(const Cell &cell, bool in);
  void MoveGap(std::size_t to);
  // Makes the gap at least `room` cells long.
  void Reserve(std::size_t room);
  // Whether the bytes from character `index` on begin with `text`.
  bool BeginsWith(std::size_t index, const std::string &text) const;

  std::unique_ptr<Cell[]> cells;
  std::size_t capacity = 0;
  std::size_t gapStart = 0;
  std::size_t gapLength = 0;
  std::size_t width = 0;
  std::size_t byteCount = 0;
  // The characters too long for a cell; those erased stay until the string
  // is cleared or copied.
  std::vector<Char> setAside;
};

#endif
