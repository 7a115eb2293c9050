#ifndef SKELLAN_CONSOLE_WIN_WINCONSOLETERMINAL_H
#define SKELLAN_CONSOLE_WIN_WINCONSOLETERMINAL_H

#include "ConsoleKeyDecoder.h"
#include "ConsoleScreen.h"
#include "ConsoleScreenWriter.h"
#include "Terminal.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>

// The Windows console behind standard input and output. Raw input reads
// key and resize records with ReadConsoleInputW, the console's own line
// editing, echo and Ctrl-C processing off. Output goes out as
// virtual-terminal sequences where the console interprets them, and
// otherwise through the console's cursor, fill and scroll calls.
// Ctrl-C reaches ReadEvent as a key, also where the console raises it as a
// control event (Wine's, on a terminal that sends it as a signal): then it
// comes behind the keys the console held when it was raised. Ctrl-Break
// and the console's close, log-off and shutdown events end the program as
// a signal to end it does.
class WinConsoleTerminal : public Terminal, private ConsoleScreen {
public:
  WinConsoleTerminal(HANDLE input, HANDLE output);
  ~WinConsoleTerminal() override;
  WinConsoleTerminal(const WinConsoleTerminal &) = delete;
  WinConsoleTerminal &operator=(const WinConsoleTerminal &) = delete;

  bool EnterRaw() override;
  void LeaveRaw() override;
  Event ReadEvent() override;
  Size GetSize() override;
  bool Write(const std::string &bytes) override;
  void Suspend() override {}
  std::vector<Char> Characters(const std::string &bytes) override;

  // Whether output goes out as virtual-terminal sequences; set by EnterRaw.
  bool UsesSequences() const { return sequences; }

private:
  class SystemCodePage : public CodePage {
  public:
    explicit SystemCodePage(UINT page) : page(page) {}
    std::string Encode(const std::u16string &text) const override;
    std::u16string Decode(const std::string &bytes) const override;

  private:
    UINT page;
  };

  static BOOL WINAPI OnControl(DWORD event);
  // Turns on virtual-terminal processing if the console truly does it.
  bool EnableSequences();
  void ReadRecords();
  // Queues a Ctrl-C for each interrupt whose keys before it are all read.
  // With `reading` held.
  void PlaceInterrupts();

  bool GetLayout(Layout &layout) override;
  bool MoveCursor(int column, int row) override;
  bool WriteText(const char *bytes, std::size_t length) override;
  bool Erase(int column, int row, int count) override;
  bool ScrollDown(int first, int last) override;
  unsigned short DefaultAttributes() override { return defaultAttributes; }
  bool SetAttributes(unsigned short attributes) override;

  HANDLE input;
  HANDLE output;
  SystemCodePage inputPage;
  SystemCodePage outputPage;
  ConsoleKeyDecoder decoder;
  ConsoleScreenWriter writer;
  DWORD inputMode = 0;
  DWORD outputMode = 0;
  bool raw = false;
  bool sequences = false;
  // The screen buffer's attributes when raw mode began: what received
  // colours are reset to, and what LeaveRaw puts back.
  WORD defaultAttributes = 0;
  std::deque<Event> events;
  // Set by the control handler, which runs on a thread of its own.
  HANDLE controlEvent;
  HANDLE leftRaw;
  // The control handler takes these too: how many records have been read,
  // and for each interrupt not yet a key, how many records come before it.
  CRITICAL_SECTION reading;
  std::uint64_t recordsRead = 0;
  std::deque<std::uint64_t> interrupts;
  std::atomic<bool> ending{false};
};

#endif
