#include "LineEditor.h"

#include <algorithm>
#include <string_view>

namespace {
std::string Glyphs(const std::vector<Char> &chars, int &width) {
  std::string glyphs;
  for (const Char &c : chars) {
    glyphs += c.glyph;
    width += c.width;
  }
  return glyphs;
}

bool IsBlank(std::string_view bytes) { return bytes == " " || bytes == "\t"; }
} // namespace

LineEditor::LineEditor(Terminal &terminal, ScreenCompositor &screen, Completer &completer,
                       const std::string &prompt)
    : terminal(terminal), screen(screen), completer(completer), prompt(prompt) {
  Glyphs(terminal.Characters(prompt), promptWidth);
}

LineEditor::~LineEditor() { Stop(); }

bool LineEditor::Start() {
  if (started)
    return true;
  if (!terminal.EnterRaw())
    return false;
  const Terminal::Size size = terminal.GetSize();
  columns = size.columns > 0 ? size.columns : 80;
  started = true;
  return true;
}

void LineEditor::Stop() {
  if (!started)
    return;
  screen.Finish();
  terminal.LeaveRaw();
  started = false;
}

LineEditor::Result LineEditor::Begin() {
  buffer.Clear();
  view.Reset();
  browsing = history.Size();
  searching = false;
  tabbed = false;
  // Keys read already are applied first: the row is drawn once with them.
  changed = true;
  if (queued.empty())
    Draw();
  return Status(Editing);
}

LineEditor::Result LineEditor::Feed(const Terminal::Event &event, std::string &line) {
  const Result result = Act(event, line);
  if (result == Editing && changed)
    Draw();
  return Status(result);
}

LineEditor::Result LineEditor::Act(const Terminal::Event &event, std::string &line) {
  Step step = Going;
  switch (event.type) {
  case Terminal::Event::KeyPressed:
    step = searching ? ApplyInSearch(event.key) : Apply(event.key);
    changed = true;
    break;
  case Terminal::Event::Resized: {
    const Terminal::Size size = terminal.GetSize();
    columns = size.columns > 0 ? size.columns : 80;
    const std::string row = Row();
    screen.Reflow(columns, row, view.CursorColumn());
    changed = false;
    return Editing;
  }
  case Terminal::Event::Resumed:
    screen.Resumed();
    changed = true;
    break;
  case Terminal::Event::EndOfInput:
  case Terminal::Event::Terminated:
    step = Ended;
    break;
  }
  if (step == Going)
    return Editing;
  // The row stays on the screen as it ends, keys of the same read included.
  Leave("");
  if (step == Ended)
    return EndOfInput;
  line = buffer.Bytes();
  history.Add(buffer.Chars());
  return GotLine;
}

LineEditor::Result LineEditor::ReadLine(std::string &line) {
  Result result = Begin();
  while (result == Editing) {
    if (queued.empty())
      terminal.ReadEvents(queued, -1);
    // The events of one read, a paste say, change the line together and
    // are drawn once; those behind a finished line wait for the next.
    while (result == Editing && !queued.empty()) {
      const Terminal::Event event = queued.front();
      queued.pop_front();
      result = Act(event, line);
    }
    if (result == Editing && changed)
      Draw();
    result = Status(result);
  }
  return result;
}

bool LineEditor::ReadAhead(int milliseconds) {
  std::size_t next = queued.size();
  terminal.ReadEvents(queued, milliseconds);
  while (next < queued.size()) {
    const Terminal::Event &event = queued[next];
    const bool key = event.type == Terminal::Event::KeyPressed && event.key.code == Key::Control &&
                     !event.key.pasted;
    if (event.type == Terminal::Event::EndOfInput || event.type == Terminal::Event::Terminated) {
      // The program is to end: no line typed before may go out first.
      queued.erase(queued.begin(), queued.begin() + static_cast<std::ptrdiff_t>(next));
      return false;
    }
    if (key && event.key.letter == 'C') {
      queued.erase(queued.begin(), queued.begin() + static_cast<std::ptrdiff_t>(next) + 1);
      return false;
    }
    if (key && event.key.letter == 'Z') {
      queued.erase(queued.begin() + static_cast<std::ptrdiff_t>(next));
      terminal.Suspend();
      continue;
    }
    ++next;
  }
  return true;
}

void LineEditor::Draw() {
  const std::string row = Row();
  screen.DrawRow(row, view.CursorColumn());
  changed = false;
}

void LineEditor::Leave(const std::string &mark) {
  if (changed) {
    const std::string row = Row();
    screen.LeaveRow(mark, row, view.CursorColumn());
  } else {
    screen.LeaveRow(mark);
  }
  changed = false;
}

LineEditor::Result LineEditor::Status(Result ok) { return screen.Failed() ? OutputFailed : ok; }

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
    buffer.MoveTo(buffer.Chars().Size());
    break;
  case Key::Unknown:
    break;
  }
  return Going;
}

LineEditor::Step LineEditor::ApplyControl(char letter) {
  switch (letter) {
  case 'A':
    buffer.MoveTo(0);
    break;
  case 'E':
    buffer.MoveTo(buffer.Chars().Size());
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
    screen.ClearScreen();
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
    buffer.MoveTo(buffer.Chars().Size());
    changed = true;
    Leave("^C");
    buffer.Clear();
    view.Reset();
    browsing = history.Size();
    break;
  case 'Z':
    // Outside the compositor's lock: the receiver's output is not held up
    // by the stop.
    Leave("");
    terminal.Suspend();
    break;
  default:
    break;
  }
  return Going;
}

LineEditor::Step LineEditor::ApplyInSearch(const Key &key) {
  if (key.code == Key::Text && !key.alt) {
    query.push_back(key.text);
    // A longer query first matches in the same line no earlier than the
    // shorter one did: the search goes on from there, not from the line's
    // start, so that typing a query into a long line costs no more for it.
    if (matched)
      Search(match, buffer.Cursor());
    else
      Search(history.Size());
    return Going;
  }
  if (key.code == Key::Backspace || (key.code == Key::Control && key.letter == 'H')) {
    if (!query.empty())
      query.pop_back();
    Search(history.Size());
    return Going;
  }
  if (key.code == Key::Control && key.letter == 'R') {
    if (matched && match > 0)
      Search(match - 1);
    else
      failedSearch = !query.empty();
    return Going;
  }
  searching = false;
  if (key.code == Key::Control && (key.letter == 'G' || key.letter == 'C')) {
    buffer.Set(unsearched);
    buffer.MoveTo(unsearchedCursor);
    return Going;
  }
  // Any other key takes the line found and then acts as usual.
  return Apply(key);
}

void LineEditor::Search(std::size_t from, std::size_t start) {
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
                                     index, position, start);
  if (failedSearch)
    return;
  // While the search stands on a line, the buffer holds it unchanged: a
  // match in the same line only moves the cursor, however long the line.
  if (!matched || match != index)
    buffer.Set(history.At(index));
  matched = true;
  match = index;
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
  const CharString &chars = buffer.Chars();
  std::size_t start = buffer.Cursor();
  while (start > 0 && !IsBlank(chars.BytesAt(start - 1)))
    --start;
  const std::size_t wordLength = buffer.Cursor() - start;
  const std::vector<std::string> candidates =
      completer.Candidates(chars.Bytes(0, start), chars.Bytes(start, buffer.Cursor()));
  if (candidates.empty())
    return;
  if (candidates.size() == 1) {
    std::vector<Char> completed = Offered(candidates.front());
    completed.push_back(Char{" ", " ", 1});
    buffer.Replace(start, completed);
    return;
  }
  // The common prefix in whole characters, so that none is cut in two.
  std::vector<Char> common = Offered(candidates.front());
  for (const std::string &candidate : candidates) {
    const std::vector<Char> other = terminal.Characters(candidate);
    std::size_t same = 0;
    while (same < common.size() && same < other.size() && common[same].bytes == other[same].bytes)
      ++same;
    common.resize(same);
  }
  if (common.size() > wordLength)
    buffer.Replace(start, common);
  else if (again)
    screen.List(Listing(candidates));
  // The next Tab, unless another key comes first, lists the candidates.
  tabbed = !again;
}

std::string LineEditor::Listing(const std::vector<std::string> &candidates) const {
  int widest = 0;
  std::vector<int> widths;
  for (const std::string &candidate : candidates) {
    int width = 0;
    Glyphs(Offered(candidate), width);
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
      out += Glyphs(Offered(candidates[i]), width);
      if (i + rows < candidates.size())
        out += std::string(static_cast<std::size_t>(cellWidth - widths[i]), ' ');
    }
    out += "\n";
  }
  return out;
}

std::vector<Char> LineEditor::Offered(const std::string &candidate) const {
  std::vector<Char> chars = terminal.Characters(candidate);
  if (names == nullptr)
    return chars;
  for (Char &c : chars) {
    std::string shown;
    const std::size_t columns = names->Quote(c.glyph.data(), c.glyph.size(), shown);
    if (columns > 0) {
      c.glyph = shown;
      c.width = static_cast<int>(columns);
    }
  }
  return chars;
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
