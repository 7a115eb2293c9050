#include "ReceivedPattern.h"

#include "ClientSession.h"
#include "VisibleText.h"

#include <gtest/gtest.h>

#include <algorithm>

void ReceivedPattern::Take(const char *bytes, std::size_t length) {
  for (std::size_t i = 0; i < length && fault_.empty(); ++i) {
    Step(bytes[i]);
    ++offset_;
  }
}

ChildProcess::Sink ReceivedPattern::Sink() {
  return [this](const char *bytes, std::size_t length) { Take(bytes, length); };
}

std::optional<std::size_t> ReceivedPattern::Receive(ClientSession &client, std::size_t size,
                                                    ChildProcess::Duration timeout) {
  client.Process().SetOutputSink(Sink());
  if (!client.Type("go")) {
    ADD_FAILURE() << "skellan took no input";
    return std::nullopt;
  }
  EXPECT_TRUE(client.Process().WaitUntil([&] { return Settled(size); }, timeout))
      << "shown " << Bytes() << " bytes of " << size;
  const std::optional<std::size_t> peak = client.Process().PeakResidentBytes();
  EXPECT_EQ(client.EndInput(timeout), 0);
  EXPECT_EQ(Fault(), "");
  EXPECT_EQ(Bytes(), size);
  // The one of the read after "go".
  EXPECT_EQ(Prompts(), 1u);
  return peak;
}

bool ReceivedPattern::Settled(std::size_t size) const {
  return !fault_.empty() || (bytes_ >= size && !PieceOpen());
}

bool ReceivedPattern::PieceOpen() const {
  return state_ != State::Line && state_ != State::Return && state_ != State::Prompt;
}

void ReceivedPattern::Step(char c) {
  switch (state_) {
  case State::Line:
    if (c != '\r') {
      return Fail("a carriage return", c);
    }
    state_ = State::Return;
    return;
  case State::Return:
    if (c == '$') {
      state_ = State::Prompt;
      return;
    }
    pieceBytes_ = 0;
    return PatternByte(c);
  case State::Prompt:
    if (c != ' ') {
      return Fail("the blank of a prompt", c);
    }
    ++prompts_;
    state_ = State::Line;
    return;
  case State::Piece:
    if (c == '$') {
      state_ = State::Closing;
      return;
    }
    if (c == '\r') {
      if (pieceBytes_ % ClientSession::kHeldPieceSize != 0) {
        return Fail("the piece's next byte, not a prompt inside a held part", c);
      }
      state_ = State::PieceReturn;
      return;
    }
    return PatternByte(c);
  case State::Closing:
    if (c != ' ') {
      return Fail("the blank that closes a piece", c);
    }
    ++pieces_;
    longestPiece_ = std::max(longestPiece_, pieceBytes_);
    state_ = State::Line;
    return;
  case State::PieceReturn:
    if (c != '$') {
      return Fail("the \"$\" of a prompt between two parts", c);
    }
    state_ = State::PiecePrompt;
    return;
  case State::PiecePrompt:
    if (c != ' ') {
      return Fail("the blank of a prompt between two parts", c);
    }
    ++prompts_;
    state_ = State::PieceResumes;
    return;
  case State::PieceResumes:
    if (c == '\r') {
      state_ = State::PieceReturn;
      return;
    }
    return PatternByte(c);
  }
}

void ReceivedPattern::PatternByte(char c) {
  const char expected = static_cast<char>('a' + bytes_ % 26);
  if (c != expected) {
    return Fail(std::string("pattern byte '") + expected + "'", c);
  }
  ++bytes_;
  ++pieceBytes_;
  state_ = State::Piece;
}

void ReceivedPattern::Fail(const std::string &what, char c) {
  fault_ = "output byte " + std::to_string(offset_) + " (after " + std::to_string(bytes_) +
           " bytes of the pattern in " + std::to_string(pieces_) + " closed piece(s) and " +
           std::to_string(prompts_) + " prompt(s)) is \"" + VisibleText(std::string(1, c)) +
           "\", not " + what;
}
