#include "History.h"

#include "LineBuffer.h"

void History::Add(const std::vector<Char> &line) {
  bool blank = true;
  for (const Char &c : line)
    blank = blank && (c.bytes == " " || c.bytes == "\t");
  if (blank)
    return;
  if (!lines.empty() && LineBuffer::BytesOf(lines.back()) == LineBuffer::BytesOf(line))
    return;
  lines.push_back(line);
}

bool History::SearchBack(const std::string &text, std::size_t from, std::size_t &index,
                         std::size_t &position) const {
  if (lines.empty())
    return false;
  for (std::size_t i = from < lines.size() ? from + 1 : lines.size(); i-- > 0;) {
    // Matches start on a character: compare from each character's first byte.
    const std::vector<Char> &line = lines[i];
    std::string rest = LineBuffer::BytesOf(line);
    std::size_t offset = 0;
    for (std::size_t c = 0; c <= line.size(); ++c) {
      if (rest.compare(offset, text.size(), text) == 0) {
        index = i;
        position = c;
        return true;
      }
      if (c < line.size())
        offset += line[c].bytes.size();
    }
  }
  return false;
}
