#ifndef SKELLAN_TESTS_FUZZ_TERMINALTARGET_H
#define SKELLAN_TESTS_FUZZ_TERMINALTARGET_H

#include "Capture.h"
#include "EditorConsole.h"
#include "MaskModel.h"
#include "PlainConsole.h"
#include "ReceivedOutput.h"
#include "RecordingTerminal.h"
#include "ScreenCompositor.h"
#include "ScreenModel.h"
#include "TextMask.h"

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

class ServerScript;

// The terminal as a target, on either of the two roads a server's text
// takes to it.
//
// Plain: the runs the receiver hands on go to a PlainConsole with a mask,
// as on a terminal, and each run's share of what it writes is noted. Since
// the runs' edges are known, the framing (a carriage return for a piece's
// start, the prompt after its end) comes off without guessing, and what is
// left is the mask's alone: it must be text and whole SGRs only
// (ScreenModel), leave the attributes at their default, show what
// MaskModel makes of the server's texts, each masked byte in the other
// reverse video than the server's text around it, and cost at most 16
// bytes for each byte received (and a bounded amount for each part).
//
// Editor: the runs go to an EditorConsole with a mask, whose compositor
// draws them above an input row on a terminal that records what it is
// sent. What it is sent must be text, SGRs and the editor's own sequences
// only, and wherever the input row is drawn the attributes must be at
// their default.
class TerminalTarget : public ReceivedOutput {
public:
  enum Road { Plain, Editor };

  // UTF-8 when `highByteIsText` is null; `colours` false for a console
  // that takes no sequences.
  TerminalTarget(MaskModel::HighByteIsText highByteIsText, bool colours, Road road = Plain);

  // A new connection: what was noted goes. The mask stays, as in a
  // session, which keeps one for all its connections.
  void Start();
  bool Show(const Piece *pieces, std::size_t count) override;
  void Ended() override;

  // Once the connection has ended: whether what the masked console wrote
  // is right for what the server sent (the messages `sent` marks); if not,
  // `problem` says where.
  bool Check(const ServerScript &script, const std::vector<bool> &sent, std::string &problem);

private:
  struct Run {
    std::size_t begin, end; // in `written`
    bool starts, ends;      // as the piece it shows
    bool rest;              // what Ended made the console write: what the mask held
    std::size_t received;   // bytes the receiver handed on
  };

  bool CheckEditor(std::string &problem);
  // Compares what the console showed of one text with the model's.
  bool Matches(std::size_t begin, std::size_t end, std::string &problem);

  const bool colours;
  const Road road;
  Capture written;
  std::ostream stream;
  TextMask mask;
  PlainConsole console;
  RecordingTerminal recorder;
  ScreenCompositor compositor;
  EditorConsole editorConsole;
  const MaskModel model;
  ScreenModel terminal;
  std::vector<Run> runs;
  // Room kept from input to input: the server's texts, what was shown and
  // what should have been, with their marks.
  std::string text, shown, reversed, expected, masked;
  std::vector<std::size_t> ends;
};

#endif
