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
                         std::size_t &position) const {
  if (lines.empty())
    return false;
  for (std::size_t i = from < lines.size() ? from + 1 : lines.size(); i-- > 0;) {
    if (lines[i].Find(text, position)) {
      index = i;
      return true;
    }
  }
  return false;
}
