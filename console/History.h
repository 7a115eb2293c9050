#ifndef SKELLAN_CONSOLE_HISTORY_H
#define SKELLAN_CONSOLE_HISTORY_H

#include "CharString.h"

#include <cstddef>
#include <string>
#include <vector>

// The lines entered in this session, oldest first; kept in memory only.
class History {
public:
  // Keeps a line unless it is blank or repeats the newest one.
  void Add(const CharString &line);
  std::size_t Size() const { return lines.size(); }
  const CharString &At(std::size_t index) const { return lines[index]; }

  // The newest line at or before `from` whose bytes contain `text`, and
  // where in it, counted in characters; false when none does. In line
  // `from` itself only matches from character `start` on count.
  bool SearchBack(const std::string &text, std::size_t from, std::size_t &index,
                  std::size_t &position, std::size_t start = 0) const;

private:
  std::vector<CharString> lines;
};

#endif
