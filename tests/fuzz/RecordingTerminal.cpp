#include "RecordingTerminal.h"

bool RecordingTerminal::Write(const std::string &bytes) {
  written += bytes;
  return true;
}

std::vector<Char> RecordingTerminal::Characters(const std::string &bytes) {
  std::vector<Char> chars;
  for (const char c : bytes)
    chars.push_back(Char{std::string(1, c), std::string(1, c), 1});
  return chars;
}
