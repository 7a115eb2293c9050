#include "TerminalTarget.h"

#include "ServerScript.h"
#include "VisibleText.h"

#include <algorithm>
#include <cstring>

namespace {
// The input row as the line editor draws it: the prompt, a typed line, the
// cursor put back.
const char inputRow[] = "\r$ typed\x1b[K\r\x1b[7C";

bool Say(std::string &problem, const std::string &what) {
  problem = what;
  return false;
}
} // namespace

TerminalTarget::TerminalTarget(MaskModel::HighByteIsText highByteIsText, bool colours, Road road)
    : colours(colours), road(road), stream(&written),
      mask(highByteIsText == nullptr, highByteIsText,
           colours ? TextMask::KeepColours : TextMask::DropColours),
      console(stream, "$ ", &mask), compositor(recorder), editorConsole(compositor, &mask),
      model(highByteIsText), terminal(80, 24,
                                      !colours         ? ScreenModel::Sequences::None
                                      : road == Editor ? ScreenModel::Sequences::Editor
                                                       : ScreenModel::Sequences::Sgr,
                                      {highByteIsText}) {}

void TerminalTarget::Start() {
  written.text.clear();
  runs.clear();
  if (road == Editor) {
    recorder.written.clear();
    compositor.DrawRow(inputRow, 7);
  }
}

bool TerminalTarget::Show(const Piece *pieces, std::size_t count) {
  if (road == Editor)
    return editorConsole.Show(pieces, count);
  // A piece at a time, so that each run's framing can be told apart.
  bool shown = true;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t begin = written.text.size();
    shown = console.Show(&pieces[i], 1);
    runs.push_back(
        {begin, written.text.size(), pieces[i].starts, pieces[i].ends, false, pieces[i].length});
  }
  return shown;
}

void TerminalTarget::Ended() {
  if (road == Editor) {
    editorConsole.Ended();
    return;
  }
  const std::size_t begin = written.text.size();
  console.Ended();
  // The console shows a rest as a piece of its own.
  if (written.text.size() > begin)
    runs.push_back({begin, written.text.size(), true, true, true, 0});
}

bool TerminalTarget::CheckEditor(std::string &problem) {
  terminal.Restart();
  const std::string &out = recorder.written;
  for (std::size_t at = 0;;) {
    const std::size_t row = out.find(inputRow, at);
    const std::size_t end = row == std::string::npos ? out.size() : row;
    if (!terminal.Read(out.data() + at, end - at, shown, reversed, problem))
      return Say(problem, "at byte " + std::to_string(at) + " of what the editor drew: " + problem);
    if (!terminal.AtDefault())
      return Say(problem, row == std::string::npos
                              ? "the attributes are not the default after the last output"
                              : "the input row drawn at byte " + std::to_string(row) +
                                    " in the attributes the server set");
    if (row == std::string::npos)
      return true;
    at = row + sizeof inputRow - 1;
  }
}

bool TerminalTarget::Check(const ServerScript &script, const std::vector<bool> &sent,
                           std::string &problem) {
  shown.clear();
  reversed.clear();
  if (road == Editor)
    return CheckEditor(problem);
  script.Texts(sent, text, ends);
  terminal.Restart();
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
    if (run.starts) {
      if (length == 0 || bytes[0] != '\r')
        return fault("a piece that does not start with a carriage return");
      ++bytes;
      --length;
    }
    if (run.ends) {
      if (length < 2 || std::memcmp(bytes + length - 2, "$ ", 2) != 0)
        return fault("a piece that does not end with the prompt");
      length -= 2;
    }
    // What a part of a run costs besides its bytes: the server's
    // attributes set again, reverse video with them, the reset.
    const std::size_t parts = run.received / ReceivedText::sliceLength + 1;
    const std::size_t most =
        16 * (run.received + TextMask::maxSgr) + parts * (TextMask::maxAttributes + 8);
    if (length > most)
      return fault("the mask wrote " + std::to_string(length) + " bytes for " +
                   std::to_string(run.received) + " received");
    if (!terminal.Read(bytes, length, shown, reversed, problem))
      return fault(problem);
    // Where the shell writes next, in no colour of the server's.
    if (!terminal.AtDefault())
      return fault("the attributes are not the default after it");
    if (stream || !run.ends)
      continue;
    // Each piece of a message is a text of its own: nothing held is left.
    if (run.rest)
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
  // A masked byte stands apart from the server's text in reverse video, or
  // out of it where the server has reverse video on; text is as the server
  // set it.
  for (std::size_t i = 0; i < masked.size(); ++i) {
    const bool isMasked = (masked[i] & MaskModel::Masked) != 0;
    const bool serverReverse = (masked[i] & MaskModel::Reverse) != 0;
    if ((reversed[i] != 0) != (isMasked != serverReverse))
      return Say(problem, std::string(isMasked ? "a masked byte" : "text") + " shown " +
                              (reversed[i] ? "in" : "out of") + " reverse video at byte " +
                              std::to_string(i) + ": \"" + VisibleText(shown, i, 40) + "\"");
  }
  return true;
}
