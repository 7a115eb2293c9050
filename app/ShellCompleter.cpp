#include "ShellCompleter.h"

#include "CommandTable.h"
#include "PipeNames.h"

#include <cctype>
#include <sstream>

namespace {
bool StartsWith(const std::string &text, const std::string &start, bool caseless) {
  if (text.size() < start.size())
    return false;
  for (std::size_t i = 0; i < start.size(); ++i) {
    const unsigned char a = static_cast<unsigned char>(text[i]);
    const unsigned char b = static_cast<unsigned char>(start[i]);
    if (caseless ? std::tolower(a) != std::tolower(b) : a != b)
      return false;
  }
  return true;
}

std::vector<std::string> Matching(const std::vector<std::string> &words, const std::string &start,
                                  bool caseless) {
  std::vector<std::string> matching;
  for (const std::string &word : words) {
    if (StartsWith(word, start, caseless))
      matching.push_back(word);
  }
  return matching;
}
} // namespace

std::vector<std::string> ShellCompleter::Candidates(const std::string &before,
                                                    const std::string &word) {
  // Tokens as the shell splits them: at blanks.
  std::istringstream split(before);
  std::vector<std::string> tokens;
  for (std::string token; split >> token;)
    tokens.push_back(token);
  // Command words are matched without regard to case, so they complete so.
  if (tokens.empty())
    return Matching(CommandTable::Words(), word, true);
  const bool connect = CommandTable::Lookup(tokens[0].c_str()) == CommandTable::Connect;
  if (connect && (tokens.size() == 1 || (tokens.size() == 2 && tokens[1] == "-c")))
    return Matching(PipeNames::List(), word, false);
  return {};
}
