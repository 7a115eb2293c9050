#include "TerminalTarget.h"

#include "ServerScript.h"
#include "VisibleText.h"

#include <algorithm>
#include <cstring>

namespace {
bool Say(std::string &problem, const std::string &what) {
  problem = what;
  return false;
}
} // namespace

TerminalTarget::TerminalTarget(MaskModel::HighByteIsText highByteIsText, bool colours)
    : colours(colours), stream(&written),
      mask(highByteIsText == nullptr, highByteIsText,
           colours ? TextMask::KeepColours : TextMask::DropColours),
      console(stream, "$ ", &mask), model(highByteIsText), terminal(highByteIsText, colours) {}

void TerminalTarget::Start() {
  written.text.clear();
  runs.clear();
}

bool TerminalTarget::Show(const char *bytes, std::size_t length, unsigned flags) {
  const std::size_t begin = written.text.size();
  const bool shown = console.Show(bytes, length, flags);
  runs.push_back({begin, written.text.size(), flags});
  return shown;
}

void TerminalTarget::Ended() {
  const std::size_t begin = written.text.size();
  console.Ended();
  // The console shows a rest as a piece of its own.
  if (written.text.size() > begin)
    runs.push_back({begin, written.text.size(), OpensPiece | ClosesPiece | rest});
}

bool TerminalTarget::Check(const ServerScript &script, const std::vector<bool> &sent,
                           std::string &problem) {
  script.Texts(sent, text, ends);
  terminal.Restart();
  shown.clear();
  reversed.clear();
  const bool stream = script.IsByteType();
  std::size_t piece = 0;
  for (std::size_t r = 0; r < runs.size(); ++r) {
    const Run &run = runs[r];
    const char *bytes = written.text.data() + run.begin;
    std::size_t length = run.end - run.begin;
    const auto fault = [&](const std::string &what) {
      return Say(problem,
                 "run " + std::to_string(r) + " of " + std::to_string(runs.size()) + ": " + what);
    };
    if (run.flags & OpensPiece) {
      if (length == 0 || bytes[0] != '\r')
        return fault("a piece that does not start with a carriage return");
      ++bytes;
      --length;
    }
    if (run.flags & ClosesPiece) {
      if (length < 2 || std::memcmp(bytes + length - 2, "$ ", 2) != 0)
        return fault("a piece that does not end with the prompt");
      length -= 2;
    }
    if (!terminal.Read(bytes, length, shown, reversed, problem))
      return fault(problem);
    // Where the shell writes next, in no colour of the server's.
    if (!terminal.AtDefault())
      return fault("the attributes are not the default after it");
    if (stream || !(run.flags & ClosesPiece))
      continue;
    // Each piece of a message is a text of its own: nothing held is left.
    if (run.flags & rest)
      return Say(problem, "the connection's end showed bytes held past a piece's end");
    if (piece == ends.size())
      return Say(problem, "more pieces shown than the server sent");
    if (!Matches(piece == 0 ? 0 : ends[piece - 1], ends[piece], problem))
      return Say(problem, "piece " + std::to_string(piece) + ": " + problem);
    ++piece;
    shown.clear();
    reversed.clear();
  }
  if (stream)
    return Matches(0, text.size(), problem);
  if (piece != ends.size() || !shown.empty())
    return Say(problem, "a piece the server sent was not shown whole");
  return true;
}

bool TerminalTarget::Matches(std::size_t begin, std::size_t end, std::string &problem) {
  expected.clear();
  masked.clear();
  model.Show(text, begin, end, expected, masked);
  if (shown != expected) {
    const std::size_t at =
        std::mismatch(shown.begin(), shown.begin() + std::min(shown.size(), expected.size()),
                      expected.begin())
            .first -
        shown.begin();
    return Say(problem, "the text shown differs at byte " + std::to_string(at) + " (" +
                            std::to_string(shown.size()) + " against " +
                            std::to_string(expected.size()) + " bytes)\n  shown:    \"" +
                            VisibleText(shown, at, 40) + "\"\n  expected: \"" +
                            VisibleText(expected, at, 40) + "\"");
  }
  if (!colours)
    return true;
  for (std::size_t i = masked.find('\1'); i != std::string::npos; i = masked.find('\1', i + 1)) {
    if (!reversed[i])
      return Say(problem, "a masked byte shown without reverse video at byte " + std::to_string(i) +
                              ": \"" + VisibleText(shown, i, 40) + "\"");
  }
  return true;
}
