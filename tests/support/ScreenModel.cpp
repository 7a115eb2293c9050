#include "ScreenModel.h"

#include <algorithm>
#include <cstdlib>

ScreenModel::ScreenModel(int columns, int rows)
    : columns(columns), rows(rows),
      cells(rows, std::vector<std::string>(static_cast<std::size_t>(columns), " ")) {}

int ScreenModel::WidthOf(unsigned codePoint) {
  const bool wide = (codePoint >= 0x1100 && codePoint <= 0x115f) ||
                    (codePoint >= 0x2e80 && codePoint <= 0xa4cf) ||
                    (codePoint >= 0xac00 && codePoint <= 0xd7a3) ||
                    (codePoint >= 0xf900 && codePoint <= 0xfaff) ||
                    (codePoint >= 0xff00 && codePoint <= 0xff60);
  return wide ? 2 : 1;
}

void ScreenModel::Feed(const std::string &bytes) {
  for (std::size_t at = 0; at < bytes.size();) {
    const unsigned char byte = static_cast<unsigned char>(bytes[at]);
    if (byte == 0x1b) {
      at = Escape(bytes, at);
    } else if (byte == '\r') {
      column = 0;
      pendingWrap = false;
      ++at;
    } else if (byte == '\n') {
      // Output processing is on: a line feed starts the next row.
      column = 0;
      LineFeed();
      ++at;
    } else if (byte < 0x20 || byte == 0x7f) {
      unknown.push_back(std::string(1, static_cast<char>(byte)));
      ++at;
    } else {
      std::size_t length = byte < 0x80 ? 1 : byte < 0xe0 ? 2 : byte < 0xf0 ? 3 : 4;
      length = std::min(length, bytes.size() - at);
      unsigned codePoint = length == 1 ? byte : byte & (0x3f >> (length - 1));
      for (std::size_t i = 1; i < length; ++i)
        codePoint = (codePoint << 6) | (static_cast<unsigned char>(bytes[at + i]) & 0x3f);
      Put(bytes.substr(at, length), WidthOf(codePoint));
      at += length;
    }
  }
}

void ScreenModel::Put(const std::string &glyph, int width) {
  if (pendingWrap || column + width > columns) {
    column = 0;
    LineFeed();
  }
  cells[row][column] = glyph;
  if (!rendition.empty())
    coloured += glyph;
  if (width == 2)
    cells[row][column + 1] = "";
  column += width;
  if (column >= columns) {
    column = columns - 1;
    pendingWrap = true;
  }
}

void ScreenModel::LineFeed() {
  pendingWrap = false;
  if (row + 1 < rows) {
    ++row;
    return;
  }
  cells.erase(cells.begin());
  cells.emplace_back(static_cast<std::size_t>(columns), " ");
}

void ScreenModel::ReverseLineFeed() {
  pendingWrap = false;
  if (row > 0) {
    --row;
    return;
  }
  cells.pop_back();
  cells.insert(cells.begin(), std::vector<std::string>(static_cast<std::size_t>(columns), " "));
}

void ScreenModel::Erase(int r, int from) {
  for (int c = from; c < columns; ++c)
    cells[r][c] = " ";
}

std::size_t ScreenModel::Escape(const std::string &bytes, std::size_t at) {
  if (at + 1 >= bytes.size()) {
    unknown.push_back(bytes.substr(at));
    return bytes.size();
  }
  const char kind = bytes[at + 1];
  switch (kind) {
  case '7':
    savedColumn = column;
    savedRow = row;
    savedRendition = rendition;
    return at + 2;
  case '8':
    column = savedColumn;
    row = savedRow;
    rendition = savedRendition;
    pendingWrap = false;
    return at + 2;
  case 'D':
    LineFeed();
    return at + 2;
  case 'M':
    ReverseLineFeed();
    return at + 2;
  case '[':
    break;
  default:
    unknown.push_back(bytes.substr(at, 2));
    return at + 2;
  }
  std::size_t end = at + 2;
  while (end < bytes.size() && static_cast<unsigned char>(bytes[end]) >= 0x20 &&
         static_cast<unsigned char>(bytes[end]) <= 0x3f)
    ++end;
  if (end >= bytes.size()) {
    unknown.push_back(bytes.substr(at));
    return bytes.size();
  }
  const std::string parameters = bytes.substr(at + 2, end - at - 2);
  const std::string sequence = bytes.substr(at, end + 1 - at);
  if (bytes[end] == 'm' && parameters.find_first_not_of("0123456789;:") == std::string::npos) {
    // All parameters 0 or empty reset every attribute; a first one of 0
    // starts afresh.
    if (parameters.find_first_not_of("0;") == std::string::npos)
      rendition.clear();
    else if (parameters == "27" &&
             (rendition == "7" ||
              (rendition.size() >= 2 && rendition.compare(rendition.size() - 2, 2, ";7") == 0)))
      // Reverse video off undoes the reverse video set last.
      rendition.erase(rendition.size() - (rendition == "7" ? 1 : 2));
    else if (parameters[0] == '0' || parameters[0] == ';')
      rendition = parameters;
    else
      rendition += ";" + parameters;
    return end + 1;
  }
  const int n = parameters.empty() ? 1 : std::atoi(parameters.c_str());
  const bool plain = parameters.find_first_not_of("0123456789") == std::string::npos;
  switch (plain ? bytes[end] : '\0') {
  case 'K':
    if (parameters.empty())
      Erase(row, column);
    else
      unknown.push_back(sequence);
    break;
  case 'J':
    if (parameters.empty()) {
      Erase(row, column);
      for (int r = row + 1; r < rows; ++r)
        Erase(r, 0);
    } else if (parameters == "2") {
      for (int r = 0; r < rows; ++r)
        Erase(r, 0);
    } else {
      unknown.push_back(sequence);
    }
    break;
  case 'C':
    column = std::min(columns - 1, column + n);
    pendingWrap = false;
    break;
  case 'D':
    column = std::max(0, column - n);
    pendingWrap = false;
    break;
  case 'A':
    row = std::max(0, row - n);
    pendingWrap = false;
    break;
  case 'H':
    if (parameters.empty()) {
      row = 0;
      column = 0;
      pendingWrap = false;
    } else {
      unknown.push_back(sequence);
    }
    break;
  default:
    unknown.push_back(sequence);
    break;
  }
  return end + 1;
}

void ScreenModel::Resize(int newColumns, int newRows) {
  // Rows wider than the new width go on over the next rows, the cursor
  // with its cell, as tmux reflows; the top gives way when the cursor's row
  // would fall off the bottom.
  std::vector<std::vector<std::string>> flowed;
  int cursorRow = 0;
  int cursorColumn = 0;
  for (int r = 0; r < rows; ++r) {
    std::vector<std::string> cellRow = cells[r];
    while (!cellRow.empty() && cellRow.back() == " " && (r != row || cellRow.size() > 1))
      cellRow.pop_back();
    if (r == row && column >= static_cast<int>(cellRow.size()))
      cellRow.resize(static_cast<std::size_t>(column + 1), " ");
    std::size_t at = 0;
    do {
      const std::size_t take = std::min(cellRow.size() - at, static_cast<std::size_t>(newColumns));
      if (r == row && column >= static_cast<int>(at) && column < static_cast<int>(at + take)) {
        cursorRow = static_cast<int>(flowed.size());
        cursorColumn = column - static_cast<int>(at);
      }
      std::vector<std::string> part(cellRow.begin() + at, cellRow.begin() + at + take);
      part.resize(static_cast<std::size_t>(newColumns), " ");
      flowed.push_back(part);
      at += take;
    } while (at < cellRow.size());
  }
  if (cursorRow >= newRows) {
    flowed.erase(flowed.begin(), flowed.begin() + (cursorRow - newRows + 1));
    cursorRow = newRows - 1;
  }
  flowed.resize(static_cast<std::size_t>(newRows),
                std::vector<std::string>(static_cast<std::size_t>(newColumns), " "));
  cells = flowed;
  columns = newColumns;
  rows = newRows;
  row = cursorRow;
  column = cursorColumn;
  pendingWrap = false;
}

std::string ScreenModel::Row(int r) const {
  std::string text;
  for (const std::string &cell : cells[r])
    text += cell;
  const std::size_t end = text.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

std::vector<std::string> ScreenModel::Rows() const {
  std::vector<std::string> all;
  for (int r = 0; r < rows; ++r)
    all.push_back(Row(r));
  return all;
}

std::string ScreenModel::Picture() const {
  std::string picture;
  for (int r = 0; r < rows; ++r)
    picture += std::to_string(r) + "|" + Row(r) + "|" +
               (r == row ? " <- cursor column " + std::to_string(column) : "") + "\n";
  return picture;
}
