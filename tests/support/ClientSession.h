#ifndef SKELLAN_TESTS_SUPPORT_CLIENTSESSION_H
#define SKELLAN_TESTS_SUPPORT_CLIENTSESSION_H

#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

// The real skellan client, typed at line by line. It keeps a cursor into the
// client's output: each expectation checks the output that follows what
// earlier expectations consumed, so nothing unexpected can slip by.
class ClientSession {
public:
  static const std::string kPrompt;

  // Starts the client and waits for its first prompt; throws if none comes.
  ClientSession();

  // A received piece of text as the client prints it.
  static std::string Piece(const std::string &text);

  ChildProcess &Process() { return process_; }

  // Text as this client's output shows it, line ends converted.
  std::string Shown(const std::string &text) const;

  // Sends line plus a line feed.
  bool Type(const std::string &line);
  // The next output must be exactly `reply` and then the prompt of the
  // next read: what a command prints while nothing is being received.
  testing::AssertionResult Reply(const std::string &reply,
                                 ChildProcess::Duration timeout = ChildProcess::kDefaultTimeout);
  // Type(line), then Reply(reply).
  testing::AssertionResult Command(const std::string &line, const std::string &reply,
                                   ChildProcess::Duration timeout = ChildProcess::kDefaultTimeout);
  // The next output must be these received texts, each printed whole as a
  // piece, in order, mixed in any way with `prompts` prompts of the reads
  // that go on meanwhile (by default the one of the next read).
  testing::AssertionResult Received(const std::vector<std::string> &texts, std::size_t prompts = 1,
                                    ChildProcess::Duration timeout = ChildProcess::kDefaultTimeout);
  // Ends the input and waits for the client to exit; returns its status.
  std::optional<int> EndInput(ChildProcess::Duration timeout = ChildProcess::kDefaultTimeout);
  // The output not consumed by any expectation.
  std::string Rest() const;

  // The most of one piece the client holds back until the piece ends; a
  // longer piece goes out in parts of this size (as many raw bytes).
  static constexpr std::size_t kHeldPieceSize = 64 * 1024;

  // The output without its framing: every "$ " and carriage return left
  // out, which leaves the replies and the received text however the reads
  // cut it (and Windows' line ends as line feeds).
  static std::string Unframed(const std::string &output);
  // Whether output is exactly these texts, each printed whole as a piece,
  // in order, mixed in any way with `prompts` prompts. A prompt may also
  // come between the parts of a text longer than kHeldPieceSize. lineEnd is
  // what each line feed of the texts shows as.
  static testing::AssertionResult MatchPieces(const std::string &output,
                                              const std::vector<std::string> &texts,
                                              std::size_t prompts,
                                              const std::string &lineEnd = "\n");

private:
  // How the client prints a text it received: its parts, the first opening
  // the piece and the last closing it, each with line ends as shown.
  static std::vector<std::string> Parts(const std::string &text, const std::string &lineEnd);
  // Waits for `size` more bytes and takes them, or fails.
  testing::AssertionResult Take(std::size_t size, ChildProcess::Duration timeout,
                                std::string &taken);

  ChildProcess process_;
  std::string lineEnd_;
  std::size_t cursor_ = 0;
};

#endif
