#ifndef SKELLAN_TESTS_FUZZ_TERMINALTARGET_H
#define SKELLAN_TESTS_FUZZ_TERMINALTARGET_H

#include "Capture.h"
#include "MaskModel.h"
#include "PlainConsole.h"
#include "ReceivedOutput.h"
#include "TextMask.h"
#include "TextTerminal.h"

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

class ServerScript;

// The terminal as a target: the runs the receiver hands on go to a
// PlainConsole with a mask, as on a terminal, and each run's share of what
// it writes is noted. Since the runs' edges are known, the framing (a
// carriage return for a piece's start, the prompt after its end) comes off
// without guessing, and what is left is the mask's alone: it must be text
// and whole SGRs only (TextTerminal), leave the attributes at their
// default, and show what MaskModel makes of the server's texts.
class TerminalTarget : public ReceivedOutput {
public:
  // UTF-8 when `highByteIsText` is null; `colours` false for a console
  // that takes no sequences.
  TerminalTarget(MaskModel::HighByteIsText highByteIsText, bool colours);

  // A new connection: what was noted goes. The mask stays, as in a
  // session, which keeps one for all its connections.
  void Start();
  bool Show(const char *bytes, std::size_t length, unsigned flags) override;
  void Ended() override;

  // Once the connection has ended: whether what the masked console wrote
  // is right for what the server sent (the messages `sent` marks); if not,
  // `problem` says where.
  bool Check(const ServerScript &script, const std::vector<bool> &sent, std::string &problem);

private:
  // What Ended made the console write: what the mask still held.
  static constexpr unsigned rest = 0x100;

  struct Run {
    std::size_t begin, end; // in `written`
    unsigned flags;
  };

  // Compares what the console showed of one text with the model's.
  bool Matches(std::size_t begin, std::size_t end, std::string &problem);

  const bool colours;
  Capture written;
  std::ostream stream;
  TextMask mask;
  PlainConsole console;
  const MaskModel model;
  TextTerminal terminal;
  std::vector<Run> runs;
  // Room kept from input to input: the server's texts, what was shown and
  // what should have been, with their marks.
  std::string text, shown, reversed, expected, masked;
  std::vector<std::size_t> ends;
};

#endif
