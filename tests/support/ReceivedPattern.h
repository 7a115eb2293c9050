#ifndef SKELLAN_TESTS_SUPPORT_RECEIVEDPATTERN_H
#define SKELLAN_TESTS_SUPPORT_RECEIVEDPATTERN_H

#include "ChildProcess.h"

#include <cstddef>
#include <optional>
#include <string>

class ClientSession;

// Checks the client's output, a run of bytes at a time, while it receives
// the server's --send-size pattern, so that a gigabyte of it can be checked
// without being kept: the output must be prompts and pieces only, each piece
// opened by a carriage return and closed by "$ ", their bytes together the
// pattern from its start on, and a prompt inside a piece only between parts
// of ClientSession::kHeldPieceSize bytes. The first fault stops the check.
class ReceivedPattern {
public:
  void Take(const char *bytes, std::size_t length);
  // A sink for ChildProcess::SetOutputSink that feeds this check; the check
  // must outlive the child's output.
  ChildProcess::Sink Sink();
  // Has the connected client type a line that its server answers with
  // `size` bytes of the pattern, checks them with this as they are shown,
  // then ends the client and expects it to have shown them whole, after
  // the one prompt of its next read. Returns the client's peak resident
  // memory once all was shown, just before it was told to exit. Each wait
  // is bounded by `timeout`.
  std::optional<std::size_t> Receive(ClientSession &client, std::size_t size,
                                     ChildProcess::Duration timeout);

  // Whether there is a fault, or `size` bytes of the pattern have been shown
  // and the piece they end is closed.
  bool Settled(std::size_t size) const;

  // The pattern's bytes shown so far.
  std::size_t Bytes() const { return bytes_; }
  std::size_t Pieces() const { return pieces_; }
  std::size_t LongestPiece() const { return longestPiece_; }
  std::size_t Prompts() const { return prompts_; }
  bool PieceOpen() const;
  // What was wrong where, first; empty while all is well.
  const std::string &Fault() const { return fault_; }

private:
  enum class State {
    Line,         // nothing open: a prompt or a piece begins
    Return,       // after a carriage return outside a piece
    Prompt,       // after "\r$" outside a piece
    Piece,        // in a piece's bytes
    Closing,      // after a piece's bytes and a "$"
    PieceReturn,  // a prompt between two parts: after its carriage return
    PiecePrompt,  // after its "\r$"
    PieceResumes, // after it: the piece goes on
  };

  void Step(char c);
  void PatternByte(char c);
  void Fail(const std::string &what, char c);

  State state_ = State::Line;
  std::size_t offset_ = 0;
  std::size_t bytes_ = 0;
  std::size_t pieceBytes_ = 0;
  std::size_t pieces_ = 0;
  std::size_t longestPiece_ = 0;
  std::size_t prompts_ = 0;
  std::string fault_;
};

#endif
