#include "ScreenModel.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string_view>

namespace {
// Whether `v` resets attributes, which it then takes out of `numbered`.
bool Resets(unsigned v, std::vector<unsigned> &numbered) {
  // Each reset and the attributes it clears, up to the first 0.
  static const unsigned resets[][6] = {{22, 1, 2},
                                       {23, 3, 20},
                                       {24, 4, 21},
                                       {25, 5, 6},
                                       {27, 7},
                                       {28, 8},
                                       {29, 9},
                                       {50, 26},
                                       {54, 51, 52},
                                       {55, 53},
                                       {65, 60, 61, 62, 63, 64},
                                       {75, 73, 74}};
  for (const auto &reset : resets) {
    if (reset[0] != v)
      continue;
    for (std::size_t k = 1; k < 6 && reset[k] != 0; ++k)
      numbered.erase(std::remove(numbered.begin(), numbered.end(), reset[k]), numbered.end());
    return true;
  }
  return false;
}

bool AllOf(std::string_view text, const char *set) {
  return text.find_first_not_of(set) == std::string_view::npos;
}

// The number a parameter starts with, capped where no SGR means anything.
unsigned Value(std::string_view parameter) {
  unsigned value = 0;
  for (std::size_t i = 0; i < parameter.size() && parameter[i] != ':'; ++i)
    value = std::min(value * 10 + static_cast<unsigned>(parameter[i] - '0'), 1000u);
  return value;
}

} // namespace

ScreenModel::ScreenModel(int columns, int rows, Sequences sequences)
    : ScreenModel(columns, rows, sequences, Encoding()) {}

ScreenModel::ScreenModel(int columns, int rows, Sequences sequences, Encoding encoding)
    : columns(columns), rows(rows), sequences(sequences), encoding(encoding),
      cells(rows, std::vector<Cell>(static_cast<std::size_t>(columns))) {}

int ScreenModel::WidthOf(unsigned codePoint) {
  const bool wide = (codePoint >= 0x1100 && codePoint <= 0x115f) ||
                    (codePoint >= 0x2e80 && codePoint <= 0xa4cf) ||
                    (codePoint >= 0xac00 && codePoint <= 0xd7a3) ||
                    (codePoint >= 0xf900 && codePoint <= 0xfaff) ||
                    (codePoint >= 0xff00 && codePoint <= 0xff60);
  return wide ? 2 : 1;
}

std::size_t ScreenModel::Utf8Length(const unsigned char *p, std::size_t n) {
  std::size_t length;
  if (p[0] >= 0xc0 && p[0] < 0xe0)
    length = 2;
  else if (p[0] >= 0xe0 && p[0] < 0xf0)
    length = 3;
  else if (p[0] >= 0xf0 && p[0] < 0xf8)
    length = 4;
  else
    return 0;
  if (length > n)
    return 0;
  std::uint32_t code = p[0] & (0x7f >> length);
  for (std::size_t k = 1; k < length; ++k) {
    if ((p[k] & 0xc0) != 0x80)
      return 0;
    code = (code << 6) | (p[k] & 0x3f);
  }
  // The least code point that needs this many bytes: fewer would do for
  // anything below it.
  const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < least[length] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff))
    return 0;
  // U+0080..U+009F: the C1 controls.
  return code <= 0x9f ? 0 : length;
}

std::size_t ScreenModel::SgrLength(const std::string &bytes, std::size_t at) {
  if (bytes.compare(at, 2, "\x1b[") != 0)
    return 0;
  std::size_t end = at + 2;
  while (end < bytes.size() &&
         ((bytes[end] >= '0' && bytes[end] <= '9') || bytes[end] == ';' || bytes[end] == ':'))
    ++end;
  return end < bytes.size() && bytes[end] == 'm' ? end + 1 - at : 0;
}

std::string ScreenModel::WithoutSgr(const std::string &bytes) {
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::size_t sgr = SgrLength(bytes, i);
    if (sgr > 0)
      i += sgr - 1;
    else
      text += bytes[i];
  }
  return text;
}

void ScreenModel::Feed(const std::string &bytes) {
  std::string all = pending + bytes;
  pending.clear();
  Process(all.data(), all.size(), false, nullptr, nullptr);
}

bool ScreenModel::Read(const char *bytes, std::size_t length, std::string &shown,
                       std::string &reversed, std::string &problem) {
  firstProblem.clear();
  Process(bytes, length, true, &shown, &reversed);
  if (firstProblem.empty())
    return true;
  problem = firstProblem;
  return false;
}

void ScreenModel::Restart() {
  for (int r = 0; r < rows; ++r)
    Erase(r, 0);
  column = row = savedColumn = savedRow = 0;
  pendingWrap = false;
  attributes = savedAttributes = Attributes();
  paints.assign(1, "");
  paint = 0;
  pending.clear();
  coloured.clear();
  unknown.clear();
}

void ScreenModel::Process(const char *bytes, std::size_t length, bool whole, std::string *shown,
                          std::string *reversed) {
  const unsigned char *p = reinterpret_cast<const unsigned char *>(bytes);
  std::size_t run = 0; // where the text not yet appended to `shown` starts
  const auto show = [&](std::size_t end) {
    if (shown != nullptr && end > run) {
      shown->append(bytes + run, end - run);
      reversed->append(end - run, Reverse() ? '\1' : '\0');
    }
  };
  std::size_t at = 0;
  while (at < length) {
    const unsigned char byte = p[at];
    if (byte == 0x1b) {
      show(at);
      at = run = Escape(p, length, at);
      continue;
    }
    if (byte == '\r' || byte == '\t') {
      column = byte == '\r' ? 0 : std::min(columns - 1, (column / 8 + 1) * 8);
      pendingWrap = false;
      ++at;
      continue;
    }
    if (byte == '\n') {
      // Output processing is on: a line feed starts the next row.
      column = 0;
      LineFeed();
      ++at;
      continue;
    }
    bool cut = false;
    const std::size_t size =
        byte < 0x20 || byte == 0x7f ? 0 : CharacterLength(p + at, length - at, cut);
    if (size == 0 && cut && !whole) {
      show(at);
      pending.assign(bytes + at, length - at);
      return;
    }
    if (size == 0) {
      show(at);
      Note(byte < 0x20 || byte == 0x7f ? "a control byte"
           : cut                       ? "a character cut short"
                                       : "a byte that is no text here",
           p, length, at, 1);
      run = ++at;
      continue;
    }
    int width = size == 2 && encoding.lead != nullptr ? 2 : 1;
    if (size > 1 && encoding.lead == nullptr) {
      unsigned codePoint = byte & (0x3f >> (size - 1));
      for (std::size_t i = 1; i < size; ++i)
        codePoint = (codePoint << 6) | (p[at + i] & 0x3f);
      width = WidthOf(codePoint);
    }
    Put(bytes + at, size, width);
    at += size;
  }
  show(length);
}

std::size_t ScreenModel::CharacterLength(const unsigned char *p, std::size_t n, bool &cut) const {
  if (p[0] < 0x80)
    return 1;
  if (encoding.single == nullptr && encoding.lead == nullptr) {
    const std::size_t length = Utf8Length(p, n);
    if (length == 0) {
      // A well-begun character whose rest has not come yet.
      const std::size_t wanted = p[0] >= 0xf0 ? 4 : p[0] >= 0xe0 ? 3 : p[0] >= 0xc2 ? 2 : 0;
      cut = wanted > n && p[0] <= 0xf4;
      for (std::size_t k = 1; cut && k < n; ++k)
        cut = (p[k] & 0xc0) == 0x80;
    }
    return length;
  }
  if (encoding.lead != nullptr && encoding.lead(p[0])) {
    cut = n < 2;
    return !cut && encoding.pair(p[0], p[1]) ? 2 : 0;
  }
  return encoding.single != nullptr && encoding.single(p[0]) ? 1 : 0;
}

void ScreenModel::Note(const std::string &what, const unsigned char *p, std::size_t n,
                       std::size_t at, std::size_t length) {
  unknown.emplace_back(reinterpret_cast<const char *>(p) + at, length);
  if (!firstProblem.empty())
    return;
  firstProblem = what + " at byte " + std::to_string(at) + " of " + std::to_string(n) + ":";
  for (std::size_t i = at; i < n && i < at + 16; ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, " %02x", p[i]);
    firstProblem += hex;
  }
}

std::size_t ScreenModel::Escape(const unsigned char *p, std::size_t n, std::size_t at) {
  if (sequences == Sequences::None) {
    Note("an ESC on a console without sequences", p, n, at, 1);
    return at + 1;
  }
  if (at + 1 >= n) {
    Note("an ESC that begins no sequence", p, n, at, 1);
    return n;
  }
  const unsigned char kind = p[at + 1];
  if (sequences == Sequences::Editor && (kind == '7' || kind == '8')) {
    if (kind == '7') {
      savedColumn = column;
      savedRow = row;
      savedAttributes = attributes;
    } else {
      column = savedColumn;
      row = savedRow;
      attributes = savedAttributes;
      Repaint();
      pendingWrap = false;
    }
    return at + 2;
  }
  if (sequences == Sequences::Editor && (kind == 'D' || kind == 'M')) {
    if (kind == 'D')
      LineFeed();
    else
      ReverseLineFeed();
    return at + 2;
  }
  if (kind != '[') {
    Note("an escape sequence this terminal does not take", p, n, at, 2);
    return at + 2;
  }
  std::size_t end = at + 2;
  while (end < n && p[end] >= 0x20 && p[end] <= 0x3f)
    ++end;
  if (end >= n) {
    Note("a control sequence cut short", p, n, at, n - at);
    return n;
  }
  const std::string_view parameters(reinterpret_cast<const char *>(p) + at + 2, end - at - 2);
  const char final = static_cast<char>(p[end]);
  const std::size_t length = end + 1 - at;
  if (final == 'm' && AllOf(parameters, "0123456789;:")) {
    if (const char *refused = Sgr(parameters))
      Note(refused, p, n, at, length);
    return end + 1;
  }
  const bool editing = sequences == Sequences::Editor && AllOf(parameters, "0123456789");
  const int count = parameters.empty() ? 1 : static_cast<int>(Value(parameters));
  if (editing && final == 'K' && parameters.empty()) {
    Erase(row, column);
  } else if (editing && final == 'J' && (parameters.empty() || parameters == "2")) {
    Erase(row, parameters.empty() ? column : 0);
    for (int r = parameters.empty() ? row + 1 : 0; r < rows; ++r)
      Erase(r, 0);
  } else if (editing && (final == 'C' || final == 'D')) {
    column = final == 'C' ? std::min(columns - 1, column + count) : std::max(0, column - count);
    pendingWrap = false;
  } else if (editing && final == 'A') {
    row = std::max(0, row - count);
    pendingWrap = false;
  } else if (editing && final == 'H' && parameters.empty()) {
    row = 0;
    column = 0;
    pendingWrap = false;
  } else {
    Note("a control sequence this terminal does not take", p, n, at, length);
  }
  return end + 1;
}

const char *ScreenModel::Sgr(std::string_view text) {
  // The parameters between the ';'s, each with the ':' parts it has.
  std::string_view groups[maxParameters];
  std::size_t count = 0;
  std::size_t values = 0;
  for (std::size_t at = 0; at <= text.size(); ++count) {
    const std::size_t end = std::min(text.find(';', at), text.size());
    if (++values > maxParameters)
      return "an SGR of more parameters than a terminal keeps";
    groups[count] = text.substr(at, end - at);
    for (const char c : groups[count])
      if (c == ':' && ++values > maxParameters)
        return "an SGR of more parameters than a terminal keeps";
    at = end + 1;
  }
  // Walked twice: a font refuses the whole SGR before any of it is obeyed.
  for (const bool obey : {false, true}) {
    for (std::size_t g = 0; g < count; ++g) {
      const unsigned v = Value(groups[g]);
      if (v == 38 || v == 48 || v == 58) {
        // Its colour: in the parameter's own parts, or 5;N or 2;R;G;B behind it.
        const std::size_t first = g;
        if (groups[g].find(':') == std::string_view::npos && g + 1 < count) {
          const std::size_t more = groups[g + 1] == "5" ? 2 : groups[g + 1] == "2" ? 4 : 1;
          g = std::min(g + more, count - 1);
        }
        const std::size_t from = static_cast<std::size_t>(groups[first].data() - text.data());
        const std::size_t to =
            static_cast<std::size_t>(groups[g].data() - text.data()) + groups[g].size();
        if (obey)
          (v == 38   ? attributes.foreground
           : v == 48 ? attributes.background
                     : attributes.underline)
              .assign(text.substr(from, to - from));
        continue;
      }
      if (v >= 10 && v <= 19)
        return "an SGR that selects a font";
      if (!obey)
        continue;
      if (v == 0) {
        attributes.numbered.clear();
        attributes.foreground.clear();
        attributes.background.clear();
        attributes.underline.clear();
      } else if ((v >= 30 && v <= 37) || (v >= 90 && v <= 97)) {
        attributes.foreground = std::to_string(v);
      } else if ((v >= 40 && v <= 47) || (v >= 100 && v <= 107)) {
        attributes.background = std::to_string(v);
      } else if (v == 39 || v == 49 || v == 59) {
        (v == 39   ? attributes.foreground
         : v == 49 ? attributes.background
                   : attributes.underline)
            .clear();
      } else if (!Resets(v, attributes.numbered)) {
        const auto place =
            std::lower_bound(attributes.numbered.begin(), attributes.numbered.end(), v);
        if (place == attributes.numbered.end() || *place != v)
          attributes.numbered.insert(place, v);
      }
    }
  }
  Repaint();
  return nullptr;
}

bool ScreenModel::Reverse() const {
  return std::binary_search(attributes.numbered.begin(), attributes.numbered.end(), 7u);
}

void ScreenModel::Repaint() {
  std::string &parameters = scratch;
  parameters.clear();
  for (const unsigned number : attributes.numbered)
    parameters += std::to_string(number) + ";";
  for (const std::string *colour :
       {&attributes.foreground, &attributes.background, &attributes.underline})
    if (!colour->empty())
      parameters += *colour + ";";
  if (!parameters.empty())
    parameters.pop_back();
  paint = static_cast<std::uint32_t>(std::find(paints.begin(), paints.end(), parameters) -
                                     paints.begin());
  if (paint == paints.size())
    paints.push_back(parameters);
}

void ScreenModel::Put(const char *glyph, std::size_t size, int width) {
  if (pendingWrap || column + width > columns) {
    column = 0;
    LineFeed();
  }
  Cell &cell = cells[row][column];
  std::copy(glyph, glyph + size, cell.glyph);
  cell.size = static_cast<std::uint8_t>(size);
  cell.paint = paint;
  if (paint != 0)
    coloured.append(glyph, size);
  if (width == 2)
    cells[row][column + 1] = Cell{{}, 0, paint};
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
  std::rotate(cells.begin(), cells.begin() + 1, cells.end());
  Erase(rows - 1, 0);
}

void ScreenModel::ReverseLineFeed() {
  pendingWrap = false;
  if (row > 0) {
    --row;
    return;
  }
  std::rotate(cells.rbegin(), cells.rbegin() + 1, cells.rend());
  Erase(0, 0);
}

void ScreenModel::Erase(int r, int from) {
  std::fill(cells[r].begin() + from, cells[r].end(), Cell());
}

void ScreenModel::Resize(int newColumns, int newRows) {
  // Rows wider than the new width go on over the next rows, the cursor
  // with its cell, as tmux reflows; the top gives way when the cursor's row
  // would fall off the bottom.
  std::vector<std::vector<Cell>> flowed;
  int cursorRow = 0;
  int cursorColumn = 0;
  for (int r = 0; r < rows; ++r) {
    std::vector<Cell> cellRow = cells[r];
    while (!cellRow.empty() && cellRow.back().size == 1 && cellRow.back().glyph[0] == ' ' &&
           cellRow.back().paint == 0 && (r != row || cellRow.size() > 1))
      cellRow.pop_back();
    if (r == row && column >= static_cast<int>(cellRow.size()))
      cellRow.resize(static_cast<std::size_t>(column + 1));
    std::size_t at = 0;
    do {
      const std::size_t take = std::min(cellRow.size() - at, static_cast<std::size_t>(newColumns));
      if (r == row && column >= static_cast<int>(at) && column < static_cast<int>(at + take)) {
        cursorRow = static_cast<int>(flowed.size());
        cursorColumn = column - static_cast<int>(at);
      }
      std::vector<Cell> part(cellRow.begin() + at, cellRow.begin() + at + take);
      part.resize(static_cast<std::size_t>(newColumns));
      flowed.push_back(part);
      at += take;
    } while (at < cellRow.size());
  }
  if (cursorRow >= newRows) {
    flowed.erase(flowed.begin(), flowed.begin() + (cursorRow - newRows + 1));
    cursorRow = newRows - 1;
  }
  flowed.resize(static_cast<std::size_t>(newRows),
                std::vector<Cell>(static_cast<std::size_t>(newColumns)));
  cells = flowed;
  columns = newColumns;
  rows = newRows;
  row = cursorRow;
  column = cursorColumn;
  pendingWrap = false;
}

std::string ScreenModel::Row(int r) const {
  std::string text;
  for (const Cell &cell : cells[r])
    text.append(cell.glyph, cell.size);
  const std::size_t end = text.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

std::vector<std::string> ScreenModel::Rows() const {
  std::vector<std::string> all;
  for (int r = 0; r < rows; ++r)
    all.push_back(Row(r));
  return all;
}

std::string ScreenModel::Painted(int r) const {
  std::string painted;
  std::string run; // cells with the same attributes, not yet in `painted`
  std::uint32_t runPaint = 0;
  const auto endRun = [&] {
    if (!run.empty())
      painted += runPaint == 0 ? run : "{" + paints[runPaint] + ":" + run + "}";
    run.clear();
  };
  for (const Cell &cell : cells[r]) {
    if (cell.paint != runPaint) {
      endRun();
      runPaint = cell.paint;
    }
    run.append(cell.glyph, cell.size);
  }
  endRun();
  const std::size_t end = painted.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : painted.substr(0, end + 1);
}

std::vector<std::string> ScreenModel::PaintedRows() const {
  std::vector<std::string> all;
  for (int r = 0; r < rows; ++r)
    all.push_back(Painted(r));
  return all;
}

std::string ScreenModel::Picture() const {
  std::string picture;
  for (int r = 0; r < rows; ++r)
    picture += std::to_string(r) + "|" + Row(r) + "|" +
               (r == row ? " <- cursor column " + std::to_string(column) : "") + "\n";
  return picture;
}
