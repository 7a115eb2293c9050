#include "WinConsoleTerminal.h"

#include <cstdint>

namespace {
static_assert(ConsoleKeyDecoder::VkLeft == VK_LEFT && ConsoleKeyDecoder::VkDelete == VK_DELETE &&
                  ConsoleKeyDecoder::VkMenu == VK_MENU && ConsoleKeyDecoder::VkScroll == VK_SCROLL,
              "the decoder's virtual-key codes are those of <windows.h>");
static_assert(ConsoleKeyDecoder::LeftAltPressed == LEFT_ALT_PRESSED &&
                  ConsoleKeyDecoder::RightCtrlPressed == RIGHT_CTRL_PRESSED,
              "the decoder's control-key states are those of <windows.h>");

// How long the rest of a terminal's answer may take behind its start
// before what came counts as typed keys.
const DWORD EscapeWait = 50;

// The most records one ReadEvents takes: a long paste is applied in parts
// of this size, each drawn once.
const DWORD BatchRecords = 16384;

// How long a control event waits for the program to take it before it
// ends the program itself.
const DWORD ControlGrace = 1000;

// What the console's control handler shares with the terminal. The handler
// runs on a thread of its own, possibly while the terminal goes away or
// after, so it touches nothing else; one terminal per process.
struct ControlState {
  ControlState() {
    InitializeCriticalSection(&lock);
    wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    taken = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    leftRaw = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  }
  bool Created() const { return wake != nullptr && taken != nullptr && leftRaw != nullptr; }

  CRITICAL_SECTION lock;
  // The rest is the lock's, but for the events.
  bool raw = false;
  HANDLE input = nullptr;
  HANDLE output = nullptr;
  DWORD inputMode = 0;
  DWORD outputMode = 0;
  bool sequences = false;
  WORD defaultAttributes = 0;
  // How many records have been read, and for each interrupt not yet a key,
  // how many records come before it.
  std::uint64_t recordsRead = 0;
  std::deque<std::uint64_t> interrupts;
  bool ending = false;
  HANDLE wake;    // something for ReadEvents
  HANDLE taken;   // the program took the last interrupt
  HANDLE leftRaw; // the console's modes are back
};

// Never destroyed: a control event may come while the program ends.
ControlState &Control() {
  static ControlState *state = new ControlState;
  return *state;
}

// Puts the console's modes back; with the lock held.
void Restore(ControlState &control) {
  if (!control.raw)
    return;
  control.raw = false;
  SetConsoleMode(control.input, control.inputMode);
  SetConsoleMode(control.output, control.outputMode);
  if (!control.sequences)
    SetConsoleTextAttribute(control.output, control.defaultAttributes);
  SetEvent(control.leftRaw);
}

// Queues a Ctrl-C for each interrupt whose keys before it are all read;
// with the lock held.
void PlaceInterrupts(ControlState &control, std::deque<Terminal::Event> &events) {
  bool placed = false;
  while (!control.interrupts.empty() && control.interrupts.front() <= control.recordsRead) {
    control.interrupts.pop_front();
    Terminal::Event event;
    event.type = Terminal::Event::KeyPressed;
    event.key = Key::Ctrl('C');
    events.push_back(event);
    placed = true;
  }
  if (placed && control.interrupts.empty())
    SetEvent(control.taken);
}
} // namespace

WinConsoleTerminal::WinConsoleTerminal(HANDLE input, HANDLE output)
    : input(input), output(output), inputPage(GetConsoleCP()), outputPage(GetConsoleOutputCP()),
      decoder(inputPage, outputPage), writer(*this) {}

WinConsoleTerminal::~WinConsoleTerminal() { LeaveRaw(); }

bool WinConsoleTerminal::EnterRaw() {
  if (raw)
    return true;
  ControlState &control = Control();
  DWORD inputMode = 0;
  DWORD outputMode = 0;
  if (!control.Created() || !GetConsoleMode(input, &inputMode) ||
      !GetConsoleMode(output, &outputMode))
    return false;
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(output, &info))
    return false;
  // Keys one by one, nothing echoed, Ctrl-C a key; resizes as records.
  // With the extended flags the two edit-mode bits must be given again.
  const DWORD rawInput = ENABLE_WINDOW_INPUT | ENABLE_EXTENDED_FLAGS |
                         (inputMode & (ENABLE_QUICK_EDIT_MODE | ENABLE_INSERT_MODE));
  if (!SetConsoleMode(input, rawInput))
    return false;
  sequences = EnableSequences(outputMode);
  if (!sequences && !SetConsoleMode(output, outputMode | ENABLE_PROCESSED_OUTPUT)) {
    SetConsoleMode(input, inputMode);
    return false;
  }
  defaultAttributes = info.wAttributes;
  writer.ResetAttributes();
  EnterCriticalSection(&control.lock);
  control.raw = true;
  control.input = input;
  control.output = output;
  control.inputMode = inputMode;
  control.outputMode = outputMode;
  control.sequences = sequences;
  control.defaultAttributes = defaultAttributes;
  control.interrupts.clear();
  control.ending = false;
  ResetEvent(control.leftRaw);
  LeaveCriticalSection(&control.lock);
  SetConsoleCtrlHandler(OnControl, TRUE);
  raw = true;
  return true;
}

bool WinConsoleTerminal::EnableSequences(DWORD outputMode) {
  if (!SetConsoleMode(output,
                      outputMode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING))
    return false;
  // A console may take the flag and still store an escape sequence as
  // text (Wine's does): then the cursor moves over it. Such a console is
  // drawn with its own calls, and the cells the test wrote over are put
  // back.
  CONSOLE_SCREEN_BUFFER_INFO before;
  CONSOLE_SCREEN_BUFFER_INFO after;
  const char probe[] = "\x1b"
                       "7";
  const DWORD cells = sizeof probe - 1;
  WCHAR text[cells];
  WORD attributes[cells];
  DWORD done = 0;
  if (!GetConsoleScreenBufferInfo(output, &before) ||
      !ReadConsoleOutputCharacterW(output, text, cells, before.dwCursorPosition, &done) ||
      !ReadConsoleOutputAttribute(output, attributes, cells, before.dwCursorPosition, &done) ||
      !WriteConsoleA(output, probe, cells, &done, nullptr) ||
      !GetConsoleScreenBufferInfo(output, &after))
    return false;
  if (after.dwCursorPosition.X == before.dwCursorPosition.X &&
      after.dwCursorPosition.Y == before.dwCursorPosition.Y)
    return true;
  WriteConsoleOutputCharacterW(output, text, cells, before.dwCursorPosition, &done);
  WriteConsoleOutputAttribute(output, attributes, cells, before.dwCursorPosition, &done);
  SetConsoleCursorPosition(output, before.dwCursorPosition);
  return false;
}

void WinConsoleTerminal::LeaveRaw() {
  if (!raw)
    return;
  raw = false;
  SetConsoleCtrlHandler(OnControl, FALSE);
  ControlState &control = Control();
  EnterCriticalSection(&control.lock);
  Restore(control);
  LeaveCriticalSection(&control.lock);
}

BOOL WINAPI WinConsoleTerminal::OnControl(DWORD event) {
  ControlState &control = Control();
  EnterCriticalSection(&control.lock);
  if (!control.raw) {
    LeaveCriticalSection(&control.lock);
    return FALSE;
  }
  if (event == CTRL_C_EVENT) {
    // The keys queued now were typed before the Ctrl-C; a key typed after
    // it may already be queued by the time ReadEvents looks.
    DWORD queued = 0;
    if (!GetNumberOfConsoleInputEvents(control.input, &queued))
      queued = 0;
    control.interrupts.push_back(control.recordsRead + queued);
    ResetEvent(control.taken);
  } else {
    control.ending = true;
  }
  LeaveCriticalSection(&control.lock);
  SetEvent(control.wake);
  // The program takes the event in its own time, which is soon unless it
  // waits on something that does not end: then the default action ends it,
  // with the console put back first.
  const HANDLE done = event == CTRL_C_EVENT ? control.taken : control.leftRaw;
  if (WaitForSingleObject(done, ControlGrace) == WAIT_OBJECT_0) {
    if (event == CTRL_C_EVENT)
      return TRUE;
    // The program is ending on its own; should that hang, the default
    // action ends it a moment later.
    Sleep(ControlGrace);
    return FALSE;
  }
  EnterCriticalSection(&control.lock);
  Restore(control);
  LeaveCriticalSection(&control.lock);
  return FALSE;
}

void WinConsoleTerminal::ReadEvents(std::deque<Event> &events, int milliseconds) {
  ControlState &control = Control();
  const DWORD start = GetTickCount();
  const std::size_t before = events.size();
  for (;;) {
    EnterCriticalSection(&control.lock);
    const bool ending = control.ending;
    PlaceInterrupts(control, events);
    LeaveCriticalSection(&control.lock);
    if (ending) {
      Event event;
      event.type = Event::Terminated;
      events.push_back(event);
      return;
    }
    if (events.size() > before)
      return;
    const DWORD now = GetTickCount();
    DWORD timeout = INFINITE;
    if (milliseconds >= 0) {
      const DWORD spent = now - start;
      timeout = spent < static_cast<DWORD>(milliseconds) ? milliseconds - spent : 0;
    }
    if (decoder.Waiting()) {
      const DWORD waited = now - waitingSince;
      if (waited >= EscapeWait) {
        decoder.Flush();
        continue;
      }
      timeout = timeout < EscapeWait - waited ? timeout : EscapeWait - waited;
    }
    const HANDLE waits[] = {control.wake, input};
    const DWORD woken = WaitForMultipleObjects(2, waits, FALSE, timeout);
    if (woken == WAIT_OBJECT_0 + 1) {
      if (!ReadRecords(events)) {
        events.push_back(Event());
        return;
      }
    } else if (woken == WAIT_TIMEOUT) {
      if (milliseconds >= 0 && GetTickCount() - start >= static_cast<DWORD>(milliseconds))
        return;
    } else if (woken != WAIT_OBJECT_0) {
      events.push_back(Event());
      return;
    }
  }
}

bool WinConsoleTerminal::ReadRecords(std::deque<Event> &events) {
  ControlState &control = Control();
  INPUT_RECORD records[256];
  // Every record that waits is read before the editor draws: a paste is
  // applied at once. The lock is held until every record read is counted,
  // so that the control handler never sees records gone from the console
  // and not yet counted.
  for (DWORD taken = 0, reads = 0; taken < BatchRecords; ++reads) {
    EnterCriticalSection(&control.lock);
    // Only what is there is read: a read would wait, and the control
    // handler with it. A console that cannot count (Wine's, at times) has
    // at least what woke the wait, for one read.
    DWORD queued = 0;
    const bool counted = GetNumberOfConsoleInputEvents(input, &queued) != FALSE;
    if (counted ? queued == 0 : reads > 0) {
      LeaveCriticalSection(&control.lock);
      return true;
    }
    DWORD count = 0;
    if (!ReadConsoleInputW(input, records, 256, &count)) {
      LeaveCriticalSection(&control.lock);
      return false;
    }
    for (DWORD i = 0; i < count; ++i) {
      PlaceInterrupts(control, events);
      ++control.recordsRead;
      if (records[i].EventType == WINDOW_BUFFER_SIZE_EVENT) {
        Event event;
        event.type = Event::Resized;
        events.push_back(event);
      } else if (records[i].EventType == KEY_EVENT) {
        const KEY_EVENT_RECORD &key = records[i].Event.KeyEvent;
        ConsoleKeyDecoder::Record record;
        record.down = key.bKeyDown != FALSE;
        record.repeat = key.wRepeatCount;
        record.virtualKey = key.wVirtualKeyCode;
        record.unit = static_cast<char16_t>(key.uChar.UnicodeChar);
        record.controlState = key.dwControlKeyState;
        for (const Key &decoded : decoder.Decode(record)) {
          Event event;
          event.type = Event::KeyPressed;
          event.key = decoded;
          events.push_back(event);
        }
      }
    }
    LeaveCriticalSection(&control.lock);
    taken += count;
    waitingSince = GetTickCount();
  }
  return true;
}

Terminal::Size WinConsoleTerminal::GetSize() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(output, &info))
    return Size{80, 25};
  return Size{info.srWindow.Right - info.srWindow.Left + 1,
              info.srWindow.Bottom - info.srWindow.Top + 1};
}

bool WinConsoleTerminal::Write(const std::string &bytes) {
  if (!sequences)
    return writer.Write(bytes);
  DWORD written = 0;
  return WriteConsoleA(output, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

std::vector<Char> WinConsoleTerminal::Characters(const std::string &bytes) {
  return decoder.Characters(bytes);
}

bool WinConsoleTerminal::GetLayout(Layout &layout) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(output, &info))
    return false;
  layout = Layout{info.dwSize.X,        info.dwSize.Y,           info.srWindow.Top,
                  info.srWindow.Bottom, info.dwCursorPosition.X, info.dwCursorPosition.Y};
  return true;
}

bool WinConsoleTerminal::MoveCursor(int column, int row) {
  const COORD at = {static_cast<SHORT>(column), static_cast<SHORT>(row)};
  return SetConsoleCursorPosition(output, at) != FALSE;
}

bool WinConsoleTerminal::WriteText(const char *bytes, std::size_t length) {
  DWORD written = 0;
  return WriteConsoleA(output, bytes, static_cast<DWORD>(length), &written, nullptr) &&
         written == length;
}

bool WinConsoleTerminal::Erase(int column, int row, int count) {
  const COORD at = {static_cast<SHORT>(column), static_cast<SHORT>(row)};
  DWORD done = 0;
  // Blanks in the default colours, never in a colour a server chose.
  return FillConsoleOutputCharacterA(output, ' ', static_cast<DWORD>(count), at, &done) &&
         FillConsoleOutputAttribute(output, defaultAttributes, static_cast<DWORD>(count), at,
                                    &done);
}

bool WinConsoleTerminal::ScrollDown(int first, int last) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(output, &info))
    return false;
  const SMALL_RECT moved = {0, static_cast<SHORT>(first), static_cast<SHORT>(info.dwSize.X - 1),
                            static_cast<SHORT>(last - 1)};
  const SMALL_RECT clip = {0, static_cast<SHORT>(first), static_cast<SHORT>(info.dwSize.X - 1),
                           static_cast<SHORT>(last)};
  const COORD to = {0, static_cast<SHORT>(first + 1)};
  CHAR_INFO blank;
  blank.Char.UnicodeChar = L' ';
  blank.Attributes = defaultAttributes;
  return ScrollConsoleScreenBufferW(output, &moved, &clip, to, &blank) != FALSE;
}

bool WinConsoleTerminal::SetAttributes(unsigned short attributes) {
  return SetConsoleTextAttribute(output, attributes) != FALSE;
}

std::string WinConsoleTerminal::SystemCodePage::Encode(const std::u16string &text) const {
  if (text.empty())
    return std::string();
  const auto *units = reinterpret_cast<const wchar_t *>(text.data());
  const int length = static_cast<int>(text.size());
  const int size = WideCharToMultiByte(page, 0, units, length, nullptr, 0, nullptr, nullptr);
  std::string bytes(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
  if (size > 0)
    WideCharToMultiByte(page, 0, units, length, &bytes[0], size, nullptr, nullptr);
  return bytes;
}

std::u16string WinConsoleTerminal::SystemCodePage::Decode(const std::string &bytes) const {
  if (bytes.empty())
    return std::u16string();
  const int length = static_cast<int>(bytes.size());
  const int size = MultiByteToWideChar(page, 0, bytes.data(), length, nullptr, 0);
  std::u16string text(size > 0 ? static_cast<std::size_t>(size) : 0, u'\0');
  if (size > 0)
    MultiByteToWideChar(page, 0, bytes.data(), length, reinterpret_cast<wchar_t *>(&text[0]), size);
  return text;
}
