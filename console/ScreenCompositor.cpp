#include "ScreenCompositor.h"

namespace {
bool IsSgrParameter(char c) { return (c >= '0' && c <= '9') || c == ';' || c == ':'; }

// Where the text's last character ends: the SGRs behind it (a server's
// colours put back to the default) draw nothing.
std::size_t TextEnd(const char *bytes, std::size_t length) {
  std::size_t end = length;
  while (end > 0 && bytes[end - 1] == 'm') {
    std::size_t start = end - 1;
    while (start > 0 && IsSgrParameter(bytes[start - 1]))
      --start;
    if (start < 2 || bytes[start - 1] != '[' || bytes[start - 2] != '\x1b')
      break;
    end = start - 2;
  }
  return end;
}
} // namespace

ScreenCompositor::ScreenCompositor(Terminal &terminal) : terminal(terminal) {}

bool ScreenCompositor::DrawRow(const std::string &newRow, int newCursorColumn) {
  std::lock_guard<std::mutex> lock(mutex);
  row = newRow;
  cursorColumn = newCursorColumn;
  shown = true;
  rowOff = false;
  return Send(row);
}

bool ScreenCompositor::LeaveRow(const std::string &mark) {
  std::lock_guard<std::mutex> lock(mutex);
  return Leave(mark);
}

bool ScreenCompositor::LeaveRow(const std::string &mark, const std::string &lastRow,
                                int lastCursorColumn) {
  std::lock_guard<std::mutex> lock(mutex);
  row = lastRow;
  cursorColumn = lastCursorColumn;
  rowOff = false;
  return Leave(row + mark);
}

bool ScreenCompositor::Reflow(int columns, const std::string &newRow, int newCursorColumn) {
  std::lock_guard<std::mutex> lock(mutex);
  // A terminal that reflows put a row wider than the new width on several
  // rows, the cursor on the last of them: clear from the first.
  const int up = columns > 0 ? cursorColumn / columns : 0;
  partial = false;
  // Output still pending went on behind the row, which is on the screen
  // until that output is written: the row goes first.
  pending.insert(0, (up > 0 ? "\x1b[" + std::to_string(up) + "A" : std::string()) + "\r\x1b[J");
  row = newRow;
  cursorColumn = newCursorColumn;
  rowOff = false;
  return Send(shown ? row : std::string());
}

bool ScreenCompositor::Write(const char *bytes, std::size_t length) {
  std::lock_guard<std::mutex> lock(mutex);
  return Show(bytes, length, false, false);
}

bool ScreenCompositor::ShowReceived(const char *bytes, std::size_t length, bool continues,
                                    bool more) {
  std::lock_guard<std::mutex> lock(mutex);
  return Show(bytes, length, continues, more);
}

bool ScreenCompositor::List(const std::string &listing) {
  std::lock_guard<std::mutex> lock(mutex);
  partial = false;
  return Send("\r\x1b[K" + listing);
}

bool ScreenCompositor::ClearScreen() {
  std::lock_guard<std::mutex> lock(mutex);
  partial = false;
  return Send("\x1b[H\x1b[2J");
}

bool ScreenCompositor::Resumed() {
  std::lock_guard<std::mutex> lock(mutex);
  // Whatever was printed meanwhile, the row is drawn afresh below.
  partial = false;
  return Send("\r\x1b[K");
}

bool ScreenCompositor::Finish() {
  std::lock_guard<std::mutex> lock(mutex);
  return shown ? Leave("") : Send(std::string());
}

bool ScreenCompositor::Failed() {
  std::lock_guard<std::mutex> lock(mutex);
  return failed;
}

bool ScreenCompositor::Leave(const std::string &mark) {
  const bool sent = Send(mark + "\r\n");
  shown = false;
  partial = false;
  return sent;
}

bool ScreenCompositor::Show(const char *bytes, std::size_t length, bool continues, bool more) {
  continues = continues && partial;
  if (!continues)
    overText = false;
  const std::size_t end = TextEnd(bytes, length);
  if (end == 0) {
    // Nothing to draw: attributes alone change nothing on the screen.
    pending.append(bytes, length);
    partial = continues;
  } else {
    Place(bytes, length, end, continues);
  }
  // With more to come at once the row stays off, so that a server sending
  // many short pieces costs one write and one redraw for all of them.
  if (more && pending.size() < maxPending)
    return !failed;
  return Send(std::string());
}

void ScreenCompositor::Place(const char *bytes, std::size_t length, std::size_t end,
                             bool continues) {
  if (shown && !rowOff)
    pending += "\r\x1b[K";
  rowOff = shown;
  if (continues)
    pending += "\x1b"
               "8";
  pending.append(bytes, length);
  partial = bytes[end - 1] != '\n';
  // Where the text's last row went back over itself, the cursor may stand
  // on text.
  std::size_t rowStart = end;
  while (rowStart > 0 && bytes[rowStart - 1] != '\n')
    --rowStart;
  if (rowStart > 0)
    overText = false;
  for (std::size_t i = rowStart; i < end; ++i)
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

bool ScreenCompositor::Send(const std::string &bytes) {
  std::string out;
  out.swap(pending);
  if (rowOff)
    out += row;
  rowOff = false;
  out += bytes;
  if (!failed && !out.empty() && !terminal.Write(out))
    failed = true;
  return !failed;
}
