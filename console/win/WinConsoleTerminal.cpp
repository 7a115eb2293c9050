#include "WinConsoleTerminal.h"

namespace {
static_assert(ConsoleKeyDecoder::VkLeft == VK_LEFT && ConsoleKeyDecoder::VkDelete == VK_DELETE &&
                  ConsoleKeyDecoder::VkMenu == VK_MENU && ConsoleKeyDecoder::VkScroll == VK_SCROLL,
              "the decoder's virtual-key codes are those of <windows.h>");
static_assert(ConsoleKeyDecoder::LeftAltPressed == LEFT_ALT_PRESSED &&
                  ConsoleKeyDecoder::RightCtrlPressed == RIGHT_CTRL_PRESSED,
              "the decoder's control-key states are those of <windows.h>");

// The console whose control events the handler passes on: one per process.
std::atomic<WinConsoleTerminal *> active{nullptr};

// How long the rest of a terminal's answer may take behind its start
// before what came counts as typed keys.
const DWORD EscapeWait = 50;

// How long a close, log-off or shutdown event waits for the program to put
// the console back before the system ends the process anyway.
const DWORD CloseGrace = 3000;
} // namespace

WinConsoleTerminal::WinConsoleTerminal(HANDLE input, HANDLE output)
    : input(input), output(output), inputPage(GetConsoleCP()), outputPage(GetConsoleOutputCP()),
      decoder(inputPage, outputPage), writer(*this),
      controlEvent(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      leftRaw(CreateEventA(nullptr, TRUE, TRUE, nullptr)) {
  InitializeCriticalSection(&reading);
}

WinConsoleTerminal::~WinConsoleTerminal() {
  LeaveRaw();
  if (controlEvent != nullptr)
    CloseHandle(controlEvent);
  if (leftRaw != nullptr)
    CloseHandle(leftRaw);
  DeleteCriticalSection(&reading);
}

bool WinConsoleTerminal::EnterRaw() {
  if (raw)
    return true;
  if (controlEvent == nullptr || leftRaw == nullptr || !GetConsoleMode(input, &inputMode) ||
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
  sequences = EnableSequences();
  if (!sequences && !SetConsoleMode(output, outputMode | ENABLE_PROCESSED_OUTPUT)) {
    SetConsoleMode(input, inputMode);
    return false;
  }
  defaultAttributes = info.wAttributes;
  writer.ResetAttributes();
  ResetEvent(leftRaw);
  ending = false;
  EnterCriticalSection(&reading);
  interrupts.clear();
  LeaveCriticalSection(&reading);
  active = this;
  SetConsoleCtrlHandler(OnControl, TRUE);
  raw = true;
  return true;
}

bool WinConsoleTerminal::EnableSequences() {
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
  active = nullptr;
  SetConsoleMode(input, inputMode);
  SetConsoleMode(output, outputMode);
  if (!sequences)
    SetConsoleTextAttribute(output, defaultAttributes);
  SetEvent(leftRaw);
}

BOOL WINAPI WinConsoleTerminal::OnControl(DWORD event) {
  WinConsoleTerminal *terminal = active;
  if (terminal == nullptr)
    return FALSE;
  if (event == CTRL_C_EVENT) {
    // The keys queued now were typed before the Ctrl-C; a key typed after
    // it may already be queued by the time ReadEvent looks.
    DWORD queued = 0;
    EnterCriticalSection(&terminal->reading);
    if (!GetNumberOfConsoleInputEvents(terminal->input, &queued))
      queued = 0;
    terminal->interrupts.push_back(terminal->recordsRead + queued);
    LeaveCriticalSection(&terminal->reading);
    SetEvent(terminal->controlEvent);
    return TRUE;
  }
  // The process ends when this returns from a close, log-off or shutdown
  // event, so it waits a while for the console to be put back.
  terminal->ending = true;
  SetEvent(terminal->controlEvent);
  if (event != CTRL_BREAK_EVENT)
    WaitForSingleObject(terminal->leftRaw, CloseGrace);
  return TRUE;
}

Terminal::Event WinConsoleTerminal::ReadEvent() {
  while (events.empty()) {
    if (ending) {
      Event event;
      event.type = Event::Terminated;
      return event;
    }
    EnterCriticalSection(&reading);
    PlaceInterrupts();
    LeaveCriticalSection(&reading);
    if (!events.empty())
      break;
    const HANDLE waits[] = {controlEvent, input};
    const DWORD woken =
        WaitForMultipleObjects(2, waits, FALSE, decoder.Waiting() ? EscapeWait : INFINITE);
    if (woken == WAIT_OBJECT_0 + 1)
      ReadRecords();
    else if (woken == WAIT_TIMEOUT)
      decoder.Flush();
    else if (woken != WAIT_OBJECT_0)
      return Event();
  }
  Event event = events.front();
  events.pop_front();
  return event;
}

void WinConsoleTerminal::PlaceInterrupts() {
  while (!interrupts.empty() && interrupts.front() <= recordsRead) {
    interrupts.pop_front();
    Event event;
    event.type = Event::KeyPressed;
    event.key = Key::Ctrl('C');
    events.push_back(event);
  }
}

void WinConsoleTerminal::ReadRecords() {
  INPUT_RECORD records[64];
  DWORD count = 0;
  // Held until every record read is counted, so that the control handler
  // never sees records gone from the console and not yet counted.
  EnterCriticalSection(&reading);
  // A wake with nothing queued reads nothing: a read would wait, and the
  // control handler with it.
  DWORD queued = 0;
  if (GetNumberOfConsoleInputEvents(input, &queued) && queued == 0) {
    LeaveCriticalSection(&reading);
    return;
  }
  if (!ReadConsoleInputW(input, records, 64, &count)) {
    LeaveCriticalSection(&reading);
    events.push_back(Event());
    return;
  }
  for (DWORD i = 0; i < count; ++i) {
    PlaceInterrupts();
    ++recordsRead;
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
  LeaveCriticalSection(&reading);
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
