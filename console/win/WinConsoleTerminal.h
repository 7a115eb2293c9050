#ifndef SKELLAN_CONSOLE_WIN_WINCONSOLETERMINAL_H
#define SKELLAN_CONSOLE_WIN_WINCONSOLETERMINAL_H

#include "ConsoleKeyDecoder.h"
#include "ConsoleScreen.h"
#include "ConsoleScreenWriter.h"
#include "Terminal.h"

#include <windows.h>

#include <deque>

// The Windows console behind standard input and output. Raw input reads
// key and resize records with ReadConsoleInputW, the console's own line
// editing, echo and Ctrl-C processing off. Output goes out as
// virtual-terminal sequences where the console interprets them, and
// otherwise through the console's cursor, fill and scroll calls.
// Ctrl-C reaches ReadEvents as a key, also where the console raises it as a
// control event (Wine's, on a terminal that sends it as a signal): then it
// comes behind the keys the console held when it was raised. Ctrl-Break
// and the console's close, log-off and shutdown events end the program as
// a signal to end it does. A control event that the program has not taken
// within a second (it waits on something that does not end) ends it
// anyway, with the console's modes put back first.
class WinConsoleTerminal : public Terminal, private ConsoleScreen {
public:
  WinConsoleTerminal(HANDLE input, HANDLE output);
  ~WinConsoleTerminal() override;
  WinConsoleTerminal(const WinConsoleTerminal &) = delete;
  WinConsoleTerminal &operator=(const WinConsoleTerminal &) = delete;

  bool EnterRaw() override;
  void LeaveRaw() override;
  void ReadEvents(std::deque<Event> &events, int milliseconds) override;
  Size GetSize() override;
  bool Write(const std::string &bytes) override;
  void Suspend() override {}
  std::vector<Char> Characters(const std::string &bytes) override;

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
  bool EnableSequences(DWORD outputMode);
  // Reads every record that waits; false when reading failed.
  bool ReadRecords(std::deque<Event> &events);

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
  bool raw = false;
  bool sequences = false;
  // The screen buffer's attributes when raw mode began: what received
  // colours are reset to, and what LeaveRaw puts back.
  WORD defaultAttributes = 0;
  // When the decoder last took a record that it holds for the ones behind.
  DWORD waitingSince = 0;
};

#endif
