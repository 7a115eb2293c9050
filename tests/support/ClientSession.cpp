#include "ClientSession.h"

#include "TestPrograms.h"
#include "VisibleText.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace {

// Where two texts first differ, shown with some context.
std::string Difference(const std::string &actual, const std::string &expected) {
  std::size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) {
    ++at;
  }
  const std::size_t from = at > 40 ? at - 40 : 0;
  return "first difference at byte " + std::to_string(at) + " of " + std::to_string(actual.size()) +
         "\n  actual:   \"" + VisibleText(actual.substr(from)) + "\"\n  expected: \"" +
         VisibleText(expected.substr(from)) + "\"";
}

std::string ShownAs(const std::string &text, const std::string &lineEnd) {
  std::string shown;
  for (char c : text) {
    if (c == '\n') {
      shown += lineEnd;
    } else {
      shown += c;
    }
  }
  return shown;
}

} // namespace

const std::string ClientSession::kPrompt = "\r$ ";

ClientSession::ClientSession()
    : process_(testprograms::Client()), lineEnd_(testprograms::LineEnd()) {
  if (!process_.WaitForOutputSize(kPrompt.size()) ||
      process_.Output().compare(0, kPrompt.size(), kPrompt) != 0) {
    throw std::runtime_error("skellan did not begin with a prompt but with \"" +
                             VisibleText(process_.Output()) + "\"");
  }
  cursor_ = kPrompt.size();
}

std::string ClientSession::Piece(const std::string &text) { return "\r" + text + "$ "; }

std::string ClientSession::Shown(const std::string &text) const { return ShownAs(text, lineEnd_); }

bool ClientSession::Type(const std::string &line) { return process_.Send(line + "\n"); }

testing::AssertionResult ClientSession::Reply(const std::string &reply,
                                              ChildProcess::Duration timeout) {
  const std::string expected = Shown(reply) + kPrompt;
  std::string taken;
  testing::AssertionResult took = Take(expected.size(), timeout, taken);
  if (!took) {
    return took << "\nwaiting for \"" << VisibleText(expected) << "\"";
  }
  if (taken != expected) {
    return testing::AssertionFailure() << Difference(taken, expected);
  }
  return testing::AssertionSuccess();
}

testing::AssertionResult ClientSession::Command(const std::string &line, const std::string &reply,
                                                ChildProcess::Duration timeout) {
  if (!Type(line)) {
    return testing::AssertionFailure() << "skellan took no input \"" << VisibleText(line) << "\"";
  }
  return Reply(reply, timeout) << "\nafter typing \"" << VisibleText(line) << "\"";
}

testing::AssertionResult ClientSession::Received(const std::vector<std::string> &texts,
                                                 std::size_t prompts,
                                                 ChildProcess::Duration timeout) {
  std::size_t size = prompts * kPrompt.size();
  for (const std::string &text : texts) {
    for (const std::string &part : Parts(text, lineEnd_)) {
      size += part.size();
    }
  }
  std::string taken;
  testing::AssertionResult took = Take(size, timeout, taken);
  if (!took) {
    return took << "\nwaiting for " << texts.size() << " received piece(s) and " << prompts
                << " prompt(s)";
  }
  return MatchPieces(taken, texts, prompts, lineEnd_);
}

std::optional<int> ClientSession::EndInput(ChildProcess::Duration timeout) {
  process_.CloseInput();
  return process_.WaitForExit(timeout);
}

std::string ClientSession::Rest() const {
  return process_.Output().substr(std::min(cursor_, process_.Output().size()));
}

testing::AssertionResult ClientSession::MatchPieces(const std::string &output,
                                                    const std::vector<std::string> &texts,
                                                    std::size_t prompts,
                                                    const std::string &lineEnd) {
  // The parts of all texts: a prompt may come between any two of them.
  std::vector<std::string> pieces;
  // offsets[i]: the length of the first i parts.
  std::vector<std::size_t> offsets{0};
  for (const std::string &text : texts) {
    for (std::string &part : Parts(text, lineEnd)) {
      pieces.push_back(std::move(part));
      offsets.push_back(offsets.back() + pieces.back().size());
    }
  }
  const std::size_t size = offsets.back() + prompts * kPrompt.size();
  if (output.size() != size) {
    return testing::AssertionFailure()
           << "the output has " << output.size() << " bytes, not " << size;
  }
  // reached[i][j]: the output starts with the first i pieces and j prompts
  // in some order. An empty piece looks like a prompt, so every way is tried.
  std::vector<std::vector<bool>> reached(pieces.size() + 1, std::vector<bool>(prompts + 1, false));
  reached[0][0] = true;
  std::size_t furthest = 0;
  std::size_t stuckAtPiece = 0;
  for (std::size_t i = 0; i <= pieces.size(); ++i) {
    for (std::size_t j = 0; j <= prompts; ++j) {
      if (!reached[i][j]) {
        continue;
      }
      const std::size_t at = offsets[i] + j * kPrompt.size();
      if (at >= furthest) {
        furthest = at;
        stuckAtPiece = i;
      }
      if (i < pieces.size() && output.compare(at, pieces[i].size(), pieces[i]) == 0) {
        reached[i + 1][j] = true;
      }
      if (j < prompts && output.compare(at, kPrompt.size(), kPrompt) == 0) {
        reached[i][j + 1] = true;
      }
    }
  }
  if (reached[pieces.size()][prompts]) {
    return testing::AssertionSuccess();
  }
  const std::string wanted = stuckAtPiece < pieces.size() ? pieces[stuckAtPiece] : kPrompt;
  return testing::AssertionFailure()
         << "the output is not the " << texts.size() << " received piece(s), each whole, among "
         << prompts << " prompt(s); from byte " << furthest << " (after piece " << stuckAtPiece
         << ") on, " << Difference(output.substr(furthest, wanted.size()), wanted);
}

std::string ClientSession::Unframed(const std::string &output) {
  std::string unframed;
  for (std::size_t i = 0; i < output.size(); ++i) {
    if (output.compare(i, 2, "$ ") == 0) {
      ++i;
    } else if (output[i] != '\r') {
      unframed += output[i];
    }
  }
  return unframed;
}

std::vector<std::string> ClientSession::Parts(const std::string &text, const std::string &lineEnd) {
  std::vector<std::string> parts;
  for (std::size_t at = 0; at == 0 || at < text.size(); at += kHeldPieceSize) {
    parts.push_back(ShownAs(text.substr(at, kHeldPieceSize), lineEnd));
  }
  parts.front().insert(0, "\r");
  parts.back() += "$ ";
  return parts;
}

testing::AssertionResult ClientSession::Take(std::size_t size, ChildProcess::Duration timeout,
                                             std::string &taken) {
  const bool arrived = process_.WaitForOutputSize(cursor_ + size, timeout);
  taken = process_.Output().substr(cursor_, size);
  cursor_ += taken.size();
  if (!arrived) {
    return testing::AssertionFailure()
           << "skellan printed only \"" << VisibleText(taken) << "\"; its stderr: \""
           << VisibleText(process_.ErrorOutput()) << "\"";
  }
  return testing::AssertionSuccess();
}
