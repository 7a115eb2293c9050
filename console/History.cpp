#include "History.h"

void History::Add(const CharString &line) {
  bool blank = true;
  for (std::size_t i = 0; blank && i < line.Size(); ++i)
    blank = line.BytesAt(i) == " " || line.BytesAt(i) == "\t";
  if (blank)
    return;
  if (!lines.empty() && lines.back().SameBytes(line))
    return;
  lines.push_back(line);
}

bool History::SearchBack(const std::string &text, std::size_t from, std::size_t &index,
                         std::size_t &position, std::size_t start) const {
  if (lines.empty())
    return false;
  const std::size_t first = from < lines.size() ? from : lines.size() - 1;
  for (std::size_t i = first + 1; i-- > 0;) {
    if (lines[i].Find(text, position, i == first && first == from ? start : 0)) {
      index = i;
      return true;
    }
  }
  return false;
}
