#include "CharString.h"

#include <algorithm>
#include <cstring>

namespace {
// Growing by half the line each time keeps the cost of growing the same
// per character however long the line gets.
constexpr std::size_t leastGrowth = 16;

template <typename T> void Copy(T *to, const T *from, std::size_t count) {
  if (count > 0)
    std::memmove(to, from, count * sizeof(T));
}

// For a character's few bytes a loop does better than a call.
char *CopyBytes(char *to, std::string_view bytes) {
  for (const char byte : bytes)
    *to++ = byte;
  return to;
}

// Up to four bytes; each byte its own move, which costs less than a call.
void PutShort(char *to, const std::string &from) {
  const char *bytes = from.data();
  switch (from.size()) {
  case 4:
    to[3] = bytes[3];
    [[fallthrough]];
  case 3:
    to[2] = bytes[2];
    [[fallthrough]];
  case 2:
    to[1] = bytes[1];
    [[fallthrough]];
  case 1:
    to[0] = bytes[0];
    break;
  default:
    break;
  }
}

bool SameShort(std::string_view one, std::string_view other) {
  if (one.size() != other.size())
    return false;
  for (std::size_t i = 0; i < one.size(); ++i) {
    if (one[i] != other[i])
      return false;
  }
  return true;
}
} // namespace

CharString::CharString(const CharString &other)
    : cells(other.Empty() ? nullptr : new Cell[other.Size()]), capacity(other.Size()),
      width(other.width), byteCount(other.byteCount) {
  const std::size_t after = other.capacity - other.gapStart - other.gapLength;
  Copy(cells.get(), other.cells.get(), other.gapStart);
  Copy(cells.get() + other.gapStart, other.cells.get() + other.gapStart + other.gapLength, after);
  if (other.setAside.empty())
    return;
  for (std::size_t i = 0; i < capacity; ++i) {
    Cell &cell = cells[i];
    if (!cell.aside)
      continue;
    const std::uint32_t index = static_cast<std::uint32_t>(setAside.size());
    setAside.push_back(other.Aside(cell));
    std::memcpy(cell.bytes, &index, sizeof index);
  }
}

CharString &CharString::operator=(const CharString &other) {
  if (this != &other)
    *this = CharString(other);
  return *this;
}

CharString::CharString(CharString &&other) noexcept
    : cells(std::move(other.cells)), capacity(other.capacity), gapStart(other.gapStart),
      gapLength(other.gapLength), width(other.width), byteCount(other.byteCount),
      setAside(std::move(other.setAside)) {
  other.Clear();
}

CharString &CharString::operator=(CharString &&other) noexcept {
  if (this == &other)
    return *this;
  cells = std::move(other.cells);
  capacity = other.capacity;
  gapStart = other.gapStart;
  gapLength = other.gapLength;
  width = other.width;
  byteCount = other.byteCount;
  setAside = std::move(other.setAside);
  other.Clear();
  return *this;
}

const Char &CharString::Aside(const Cell &cell) const {
  std::uint32_t index = 0;
  std::memcpy(&index, cell.bytes, sizeof index);
  return setAside[index];
}

int CharString::AsideWidth(const Cell &cell) const { return std::max(Aside(cell).width, 0); }

std::string CharString::Bytes(std::size_t from, std::size_t to) const {
  std::size_t length = 0;
  if (from == 0 && to == Size()) {
    length = byteCount;
  } else {
    for (std::size_t i = from; i < to; ++i)
      length += BytesAt(i).size();
  }
  // Filled in place: one allocation, no append per character.
  std::string bytes(length, '\0');
  char *out = &bytes[0];
  for (std::size_t i = from; i < to; ++i)
    out = CopyBytes(out, BytesAt(i));
  return bytes;
}

bool CharString::SameBytes(const CharString &other) const {
  if (byteCount != other.byteCount)
    return false;
  std::size_t next = 0;
  // What is left of the other's character that the bytes are at.
  std::string_view theirs;
  for (std::size_t i = 0; i < Size(); ++i) {
    // Mostly both cut the bytes into the same characters, each in place.
    const Cell &cell = CellAt(i);
    if (theirs.empty() && next < other.Size()) {
      const Cell &otherCell = other.CellAt(next);
      if (!cell.aside && !otherCell.aside && cell.byteCount == otherCell.byteCount) {
        if (std::memcmp(cell.bytes, otherCell.bytes, inPlace) != 0)
          return false;
        ++next;
        continue;
      }
    }
    std::string_view mine = BytesAt(i);
    while (!mine.empty()) {
      while (theirs.empty())
        theirs = other.BytesAt(next++);
      const std::size_t length = std::min(mine.size(), theirs.size());
      if (!SameShort(mine.substr(0, length), theirs.substr(0, length)))
        return false;
      mine.remove_prefix(length);
      theirs.remove_prefix(length);
    }
  }
  return true;
}

bool CharString::BeginsWith(std::size_t index, const std::string &text) const {
  std::size_t matched = 0;
  for (std::size_t i = index; i < Size() && matched < text.size(); ++i) {
    const std::string_view part = BytesAt(i);
    const std::size_t length = std::min(part.size(), text.size() - matched);
    if (length > 0 && std::memcmp(part.data(), text.data() + matched, length) != 0)
      return false;
    matched += length;
  }
  return matched == text.size();
}

bool CharString::Find(const std::string &text, std::size_t &position, std::size_t start) const {
  if (text.empty() && start <= Size()) {
    position = start;
    return true;
  }
  for (std::size_t i = start; i < Size(); ++i) {
    const std::string_view part = BytesAt(i);
    if ((part.empty() || part[0] == text[0]) && BeginsWith(i, text)) {
      position = i;
      return true;
    }
  }
  return false;
}

CharString::Cell CharString::Pack(const Char &c) {
  Cell cell{};
  if (c.bytes.size() <= inPlace && c.glyph.size() <= inPlace && c.width >= 0 && c.width <= widest) {
    // Zeros stay behind the bytes: cells with the same bytes compare equal
    // whole.
    PutShort(cell.bytes, c.bytes);
    PutShort(cell.glyph, c.glyph);
    cell.byteCount = static_cast<std::uint8_t>(c.bytes.size());
    cell.glyphCount = static_cast<std::uint8_t>(c.glyph.size());
    cell.width = static_cast<std::uint8_t>(c.width);
    return cell;
  }
  const std::uint32_t index = static_cast<std::uint32_t>(setAside.size());
  setAside.push_back(c);
  std::memcpy(cell.bytes, &index, sizeof index);
  cell.aside = 1;
  return cell;
}

void CharString::Count(const Cell &cell, bool in) {
  std::size_t columns = cell.width;
  std::size_t bytes = cell.byteCount;
  if (cell.aside) {
    columns = static_cast<std::size_t>(AsideWidth(cell));
    bytes = Aside(cell).bytes.size();
  }
  if (in) {
    width += columns;
    byteCount += bytes;
  } else {
    width -= columns;
    byteCount -= bytes;
  }
}

void CharString::MoveGap(std::size_t to) {
  if (gapLength > 0 && to < gapStart)
    Copy(cells.get() + to + gapLength, cells.get() + to, gapStart - to);
  else if (gapLength > 0 && to > gapStart)
    Copy(cells.get() + gapStart, cells.get() + gapStart + gapLength, to - gapStart);
  gapStart = to;
}

void CharString::Reserve(std::size_t room) {
  if (gapLength >= room)
    return;
  const std::size_t size = Size();
  const std::size_t grown = size + std::max(room, size / 2 + leastGrowth);
  const std::size_t after = capacity - gapStart - gapLength;
  std::unique_ptr<Cell[]> larger(new Cell[grown]);
  Copy(larger.get(), cells.get(), gapStart);
  Copy(larger.get() + grown - after, cells.get() + gapStart + gapLength, after);
  cells = std::move(larger);
  capacity = grown;
  gapLength = grown - size;
}

void CharString::Insert(std::size_t at, const Char &c) {
  const Cell cell = Pack(c);
  if (at != gapStart)
    MoveGap(at);
  if (gapLength == 0)
    Reserve(1);
  cells[gapStart++] = cell;
  --gapLength;
  Count(cell, true);
}

void CharString::Erase(std::size_t from, std::size_t to) {
  if (from >= to)
    return;
  for (std::size_t i = from; i < to; ++i)
    Count(CellAt(i), false);
  // The gap takes the erased cells in from whichever of their ends is
  // nearer, so that erasing at the gap moves nothing.
  const std::size_t toEnd = gapStart > to ? gapStart - to : to - gapStart;
  const std::size_t toStart = gapStart > from ? gapStart - from : from - gapStart;
  if (toEnd <= toStart) {
    MoveGap(to);
    gapStart = from;
  } else {
    MoveGap(from);
  }
  gapLength += to - from;
}

void CharString::Clear() {
  cells.reset();
  capacity = 0;
  gapStart = 0;
  gapLength = 0;
  width = 0;
  byteCount = 0;
  setAside.clear();
  setAside.shrink_to_fit();
}
