#include "LineEditor.h"

#include <algorithm>

namespace {
const char prompt[] = "$ ";
const int promptWidth = 2;

std::string Glyphs(const std::vector<Char> &chars, int &width) {
  std::string glyphs;
  for (const Char &c : chars) {
    glyphs += c.glyph;
    width += c.width;
  }
  return glyphs;
}

bool IsBlank(const Char &c) { return c.bytes == " " || c.bytes == "\t"; }
} // namespace

LineEditor::LineEditor(Terminal &terminal, Completer &completer)
    : terminal(terminal), completer(completer) {}

LineEditor::~LineEditor() { Stop(); }

bool LineEditor::Start() {
  if (started)
    return true;
  if (!terminal.EnterRaw())
    return false;
  const Terminal::Size size = terminal.GetSize();
  columns = size.columns > 0 ? size.columns : 80;
  started = true;
  PConsole::SetOverlay(this);
  return true;
}

void LineEditor::Stop() {
  if (!started)
    return;
  // Under the lock, so that no other thread's output comes between the
  // editor's last write and the terminal's own modes.
  PConsole::Hold console;
  if (shown)
    Leave("");
  else
    Send(std::string());
  PConsole::SetOverlay(nullptr);
  terminal.LeaveRaw();
  started = false;
}

LineEditor::Result LineEditor::ReadLine(std::string &line) {
  {
    PConsole::Hold console;
    buffer.Clear();
    view.Reset();
    browsing = history.Size();
    searching = false;
    tabbed = false;
    shown = true;
    Send(Row());
  }
  for (;;) {
    if (failed)
      return OutputFailed;
    const Terminal::Event event = terminal.ReadEvent();
    PConsole::Hold console;
    Step step = Editing;
    switch (event.type) {
    case Terminal::Event::KeyPressed:
      step = searching ? ApplyInSearch(event.key) : Apply(event.key);
      break;
    case Terminal::Event::Resized:
      Resize();
      break;
    case Terminal::Event::Resumed:
      // Whatever was printed meanwhile, the row is drawn afresh below.
      partial = false;
      Send("\r\x1b[K");
      break;
    case Terminal::Event::EndOfInput:
    case Terminal::Event::Terminated:
      step = Ended;
      break;
    }
    if (step == Accepted) {
      line = buffer.Bytes();
      history.Add(buffer.Chars());
      Leave("");
      return failed ? OutputFailed : GotLine;
    }
    if (step == Ended) {
      Leave("");
      return failed ? OutputFailed : EndOfInput;
    }
    if (!failed)
      Send(Row());
  }
}

LineEditor::Step LineEditor::Apply(const Key &key) {
  const bool secondTab = tabbed;
  tabbed = false;
  switch (key.code) {
  case Key::Text:
    if (!key.alt)
      buffer.Insert(key.text);
    else if (key.text.bytes == "b" || key.text.bytes == "B")
      buffer.WordLeft();
    else if (key.text.bytes == "f" || key.text.bytes == "F")
      buffer.WordRight();
    break;
  case Key::Control:
    return ApplyControl(key.letter);
  case Key::Enter:
    return Accepted;
  case Key::Tab:
    if (key.pasted) {
      buffer.Insert(Char{"\t", "^I", 2});
    } else {
      Complete(secondTab);
    }
    break;
  case Key::Backspace:
    buffer.Backspace();
    break;
  case Key::Delete:
    buffer.DeleteUnder();
    break;
  case Key::Left:
    if (key.ctrl || key.alt)
      buffer.WordLeft();
    else
      buffer.Left();
    break;
  case Key::Right:
    if (key.ctrl || key.alt)
      buffer.WordRight();
    else
      buffer.Right();
    break;
  case Key::Up:
    Browse(true);
    break;
  case Key::Down:
    Browse(false);
    break;
  case Key::Home:
    buffer.MoveTo(0);
    break;
  case Key::End:
    buffer.MoveTo(buffer.Chars().size());
    break;
  case Key::Unknown:
    break;
  }
  return Editing;
}

LineEditor::Step LineEditor::ApplyControl(char letter) {
  switch (letter) {
  case 'A':
    buffer.MoveTo(0);
    break;
  case 'E':
    buffer.MoveTo(buffer.Chars().size());
    break;
  case 'B':
    buffer.Left();
    break;
  case 'F':
    buffer.Right();
    break;
  case 'D':
    if (buffer.IsEmpty())
      return Ended;
    buffer.DeleteUnder();
    break;
  case 'H':
    buffer.Backspace();
    break;
  case 'U':
    buffer.KillToStart();
    break;
  case 'K':
    buffer.KillToEnd();
    break;
  case 'W':
    buffer.KillBlankWordLeft();
    break;
  case 'L':
    partial = false;
    Send("\x1b[H\x1b[2J");
    break;
  case 'P':
    Browse(true);
    break;
  case 'N':
    Browse(false);
    break;
  case 'R':
    searching = true;
    matched = false;
    failedSearch = false;
    query.clear();
    unsearched = buffer.Chars();
    unsearchedCursor = buffer.Cursor();
    break;
  case 'C':
    if (buffer.IsEmpty())
      return Ended;
    // The abandoned line stays on screen, marked, and nothing is sent.
    buffer.MoveTo(buffer.Chars().size());
    Send(Row());
    Leave("^C");
    buffer.Clear();
    view.Reset();
    browsing = history.Size();
    shown = true;
    break;
  case 'Z':
    Leave("");
    terminal.Suspend();
    shown = true;
    break;
  default:
    break;
  }
  return Editing;
}

LineEditor::Step LineEditor::ApplyInSearch(const Key &key) {
  if (key.code == Key::Text && !key.alt) {
    query.push_back(key.text);
    Search(matched ? match : history.Size());
    return Editing;
  }
  if (key.code == Key::Backspace || (key.code == Key::Control && key.letter == 'H')) {
    if (!query.empty())
      query.pop_back();
    Search(history.Size());
    return Editing;
  }
  if (key.code == Key::Control && key.letter == 'R') {
    if (matched && match > 0)
      Search(match - 1);
    else
      failedSearch = !query.empty();
    return Editing;
  }
  searching = false;
  if (key.code == Key::Control && (key.letter == 'G' || key.letter == 'C')) {
    buffer.Set(unsearched);
    buffer.MoveTo(unsearchedCursor);
    return Editing;
  }
  // Any other key takes the line found and then acts as usual.
  return Apply(key);
}

void LineEditor::Search(std::size_t from) {
  if (query.empty() || history.Size() == 0) {
    matched = false;
    failedSearch = !query.empty();
    buffer.Set(unsearched);
    buffer.MoveTo(unsearchedCursor);
    return;
  }
  std::size_t index = 0;
  std::size_t position = 0;
  // Without a match the line stays on the last one found.
  failedSearch = !history.SearchBack(LineBuffer::BytesOf(query), std::min(from, history.Size() - 1),
                                     index, position);
  if (failedSearch)
    return;
  matched = true;
  match = index;
  buffer.Set(history.At(index));
  buffer.MoveTo(position);
}

void LineEditor::Browse(bool older) {
  if (older) {
    if (browsing == 0)
      return;
    if (browsing == history.Size())
      fresh = buffer.Chars();
    buffer.Set(history.At(--browsing));
  } else {
    if (browsing >= history.Size())
      return;
    ++browsing;
    buffer.Set(browsing == history.Size() ? fresh : history.At(browsing));
  }
}

void LineEditor::Complete(bool again) {
  const std::vector<Char> &chars = buffer.Chars();
  std::size_t start = buffer.Cursor();
  while (start > 0 && !IsBlank(chars[start - 1]))
    --start;
  const std::vector<Char> before(chars.begin(), chars.begin() + start);
  const std::vector<Char> word(chars.begin() + start, chars.begin() + buffer.Cursor());
  const std::vector<std::string> candidates =
      completer.Candidates(LineBuffer::BytesOf(before), LineBuffer::BytesOf(word));
  if (candidates.empty())
    return;
  if (candidates.size() == 1) {
    std::vector<Char> completed = terminal.Characters(candidates.front());
    completed.push_back(Char{" ", " ", 1});
    buffer.Replace(start, completed);
    return;
  }
  // The common prefix in whole characters, so that none is cut in two.
  std::vector<Char> common = terminal.Characters(candidates.front());
  for (const std::string &candidate : candidates) {
    const std::vector<Char> other = terminal.Characters(candidate);
    std::size_t same = 0;
    while (same < common.size() && same < other.size() && common[same].bytes == other[same].bytes)
      ++same;
    common.resize(same);
  }
  if (common.size() > word.size())
    buffer.Replace(start, common);
  else if (again)
    List(candidates);
  // The next Tab, unless another key comes first, lists the candidates.
  tabbed = !again;
}

void LineEditor::List(const std::vector<std::string> &candidates) {
  partial = false;
  Send("\r\x1b[K" + Listing(candidates));
}

std::string LineEditor::Listing(const std::vector<std::string> &candidates) const {
  int widest = 0;
  std::vector<int> widths;
  for (const std::string &candidate : candidates) {
    int width = 0;
    Glyphs(terminal.Characters(candidate), width);
    widths.push_back(width);
    widest = std::max(widest, width);
  }
  const int cellWidth = widest + 2;
  const std::size_t perRow = std::max(1, (columns - 1) / cellWidth);
  const std::size_t rows = (candidates.size() + perRow - 1) / perRow;
  std::string out;
  // Down the columns first, as a shell lists them.
  for (std::size_t row = 0; row < rows; ++row) {
    for (std::size_t i = row; i < candidates.size(); i += rows) {
      int width = 0;
      out += Glyphs(terminal.Characters(candidates[i]), width);
      if (i + rows < candidates.size())
        out += std::string(static_cast<std::size_t>(cellWidth - widths[i]), ' ');
    }
    out += "\n";
  }
  return out;
}

void LineEditor::Resize() {
  const Terminal::Size size = terminal.GetSize();
  const int old = view.CursorColumn();
  columns = size.columns > 0 ? size.columns : 80;
  // A terminal that reflows put a row wider than the new width on several
  // rows, the cursor on the last of them: clear from the first.
  const int up = old / columns;
  partial = false;
  // Output still pending went on behind the row, which is on the screen
  // until that output is written: the row goes first.
  pending.insert(0, (up > 0 ? "\x1b[" + std::to_string(up) + "A" : std::string()) + "\r\x1b[J");
  Send(std::string());
}

void LineEditor::Leave(const std::string &mark) {
  Send(mark + "\r\n");
  shown = false;
  partial = false;
}

std::string LineEditor::Row() {
  if (!searching)
    return view.Render(prompt, promptWidth, buffer.Chars(), buffer.Cursor(), columns);
  int width = 0;
  const std::string typed = Glyphs(query, width);
  const std::string head = failedSearch ? "(failed reverse-i-search)`" : "(reverse-i-search)`";
  return view.Render(head + typed + "': ", width + static_cast<int>(head.size()) + 3,
                     buffer.Chars(), buffer.Cursor(), columns);
}

bool LineEditor::Write(const char *bytes, std::size_t length) {
  return Show(bytes, length, false, false);
}

bool LineEditor::ShowReceived(const char *bytes, std::size_t length, unsigned flags) {
  // A stream's reads and the later parts of a long piece go on where the
  // text stopped; a message's next piece starts a row of its own.
  const bool continues = !(flags & PConsole::OpensPiece) || (flags & PConsole::FromStream);
  return Show(bytes, length, continues, (flags & PConsole::MoreFollows) != 0);
}

bool LineEditor::Show(const char *bytes, std::size_t length, bool continues, bool more) {
  continues = continues && partial;
  if (!continues)
    overText = false;
  if (length == 0)
    partial = continues;
  else
    Place(bytes, length, continues);
  // With more to come at once the row stays off, so that a server sending
  // many short pieces costs one write and one redraw for all of them.
  if (more)
    return !failed;
  return Send(std::string());
}

void LineEditor::Place(const char *bytes, std::size_t length, bool continues) {
  if (shown && !rowOff)
    pending += "\r\x1b[K";
  rowOff = shown;
  if (continues)
    pending += "\x1b"
               "8";
  pending.append(bytes, length);
  partial = bytes[length - 1] != '\n';
  // Where the text's last row went back over itself, the cursor may stand
  // on text.
  std::size_t rowStart = length;
  while (rowStart > 0 && bytes[rowStart - 1] != '\n')
    --rowStart;
  if (rowStart > 0)
    overText = false;
  for (std::size_t i = rowStart; i < length; ++i)
    overText = overText || bytes[i] == '\r' || bytes[i] == '\b';
  if (partial) {
    // A text that filled its row's last column leaves the cursor waiting to
    // wrap, which a saved position forgets: a blank written and stepped
    // back over wraps now if it is to wrap at all. Where the cursor may
    // stand on text, the blank would hide a character.
    if (!overText)
      pending += " \x1b[D";
    // Index and back makes sure a row exists below the text without moving
    // the text's end, which is then saved; the input row goes below.
    pending += "\x1b"
               "D\x1bM\x1b"
               "7\r\n";
  }
}

bool LineEditor::Send(const std::string &bytes) {
  // Whatever is sent goes behind the output still pending, with the input
  // row drawn back first where that output took it off.
  std::string out;
  out.swap(pending);
  if (rowOff)
    out += Row();
  rowOff = false;
  out += bytes;
  if (!failed && !out.empty() && !terminal.Write(out))
    failed = true;
  return !failed;
}
