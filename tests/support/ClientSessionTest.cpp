#include "ClientSession.h"
#include "ClientText.h"
#include "ReceivedPattern.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// The check behind ClientSession::Received, on outputs made up here.
TEST(ClientSessionMatch, AcceptsPiecesInOrderWithPromptsAnywhereBetween) {
  const std::vector<std::string> texts = {"a", "bc"};
  EXPECT_TRUE(ClientSession::MatchPieces("\r$ \ra$ \rbc$ ", texts, 1));
  EXPECT_TRUE(ClientSession::MatchPieces("\ra$ \r$ \rbc$ ", texts, 1));
  EXPECT_TRUE(ClientSession::MatchPieces("\ra$ \rbc$ \r$ ", texts, 1));
  EXPECT_TRUE(ClientSession::MatchPieces("\r$ \ra$ \r$ \r$ \rbc$ ", texts, 3));
  EXPECT_TRUE(ClientSession::MatchPieces("\r$ ", {}, 1));
}

TEST(ClientSessionMatch, TellsEmptyPiecesAndPromptsApartByCountOnly) {
  // "\r$ " is both an empty piece and a prompt.
  EXPECT_TRUE(ClientSession::MatchPieces("\r$ \r$ \r$ ", {"", ""}, 1));
  EXPECT_TRUE(ClientSession::MatchPieces("\r$ \r$ \rx$ \r$ ", {"", "x"}, 2));
  EXPECT_TRUE(ClientSession::MatchPieces("\rx$ \r$ \r$ \r$ ", {"x", ""}, 2));
  // The empty piece comes after "x", so only one "\r$ " can come before it.
  EXPECT_FALSE(ClientSession::MatchPieces("\r$ \r$ \rx$ ", {"x", ""}, 1));
}

TEST(ClientSessionMatch, RejectsBrokenOrderedOrMissingPieces) {
  const std::vector<std::string> texts = {"a", "bc"};
  // Swapped.
  EXPECT_FALSE(ClientSession::MatchPieces("\rbc$ \ra$ \r$ ", texts, 1));
  // A prompt inside a piece.
  EXPECT_FALSE(ClientSession::MatchPieces("\ra$ \rb\r$ c$ ", texts, 1));
  // Too few or too many prompts or pieces.
  EXPECT_FALSE(ClientSession::MatchPieces("\ra$ \rbc$ ", texts, 1));
  EXPECT_FALSE(ClientSession::MatchPieces("\ra$ \rbc$ \r$ \r$ ", texts, 1));
  EXPECT_FALSE(ClientSession::MatchPieces("\ra$ \r$ ", texts, 1));
  // Wrong bytes of the same length.
  EXPECT_FALSE(ClientSession::MatchPieces("\ra$ \rbd$ \r$ ", texts, 1));
  EXPECT_FALSE(ClientSession::MatchPieces("\na$ \rbc$ \r$ ", texts, 1));
}

TEST(ClientSessionMatch, LongPieceMayHaveAPromptOnlyBetweenItsParts) {
  const std::size_t part = ClientSession::kHeldPieceSize;
  const std::string text = std::string(part, 'a') + std::string(part, 'b') + "c";
  const std::string first = "\r" + text.substr(0, part);
  const std::string rest = text.substr(part) + "$ ";
  EXPECT_TRUE(ClientSession::MatchPieces(first + rest + "\r$ ", {text}, 1));
  EXPECT_TRUE(ClientSession::MatchPieces(first + "\r$ " + rest, {text}, 1));
  EXPECT_TRUE(
      ClientSession::MatchPieces(first + "\r$ " + text.substr(part, part) + "\r$ c$ ", {text}, 2));
  // Not one byte off the part's end.
  EXPECT_FALSE(ClientSession::MatchPieces(
      "\r" + text.substr(0, part + 1) + "\r$ " + text.substr(part + 1) + "$ ", {text}, 1));
  // Line ends shown as CR LF do not move the boundary, which counts raw bytes.
  const std::string lines = std::string(part - 1, 'x') + "\n" + "y";
  EXPECT_TRUE(ClientSession::MatchPieces("\r" + std::string(part - 1, 'x') + "\r\n\r$ y$ ", {lines},
                                         1, "\r\n"));
}

// The check of a pattern's output as it comes, on outputs made up here.
ReceivedPattern Fed(const std::string &output, std::size_t cut) {
  ReceivedPattern check;
  for (std::size_t at = 0; at < output.size(); at += cut) {
    check.Take(output.data() + at, std::min(cut, output.size() - at));
  }
  return check;
}

TEST(ReceivedPatternCheck, AcceptsPromptsAndPiecesOfThePatternHoweverTheOutputIsCut) {
  const std::string output = "\r$ \rabc$ \rdefg$ ";
  for (std::size_t cut : {std::size_t{1}, std::size_t{2}, output.size()}) {
    SCOPED_TRACE("in runs of " + std::to_string(cut));
    const ReceivedPattern check = Fed(output, cut);
    EXPECT_EQ(check.Fault(), "");
    EXPECT_EQ(check.Bytes(), 7u);
    EXPECT_EQ(check.Pieces(), 2u);
    EXPECT_EQ(check.LongestPiece(), 4u);
    EXPECT_EQ(check.Prompts(), 1u);
    EXPECT_TRUE(check.Settled(7));
    EXPECT_FALSE(check.Settled(8));
  }
  // The last piece is still open.
  EXPECT_FALSE(Fed("\rabc$ \rde", 1).Settled(5));
}

TEST(ReceivedPatternCheck, RejectsWrongBytesAndPromptsInsideAPart) {
  for (const char *output : {
           "\rabd$ ",            // not the pattern
           "\rabc$ \rabc$ ",     // the pattern starting over
           "\rab\r$ c$ ",        // a prompt inside a held part
           "\nabc$ ",            // a piece not opened by a carriage return
           "\rabc$\n",           // nor closed by "$ "
           "\r$ OK Connected\n", // a reply
       }) {
    SCOPED_TRACE(ClientSession::Visible(output));
    EXPECT_NE(Fed(output, 1).Fault(), "");
    EXPECT_TRUE(Fed(output, 1).Settled(1000));
  }
}

TEST(ReceivedPatternCheck, LongPieceMayHaveAPromptOnlyBetweenItsParts) {
  const std::size_t part = ClientSession::kHeldPieceSize;
  const std::string text = clienttext::Pattern(2 * part + 1);
  const std::string shown = "\r" + text.substr(0, part) + "\r$ " + text.substr(part, part) +
                            "\r$ \r$ " + text.substr(2 * part) + "$ ";
  const ReceivedPattern check = Fed(shown, 4096);
  EXPECT_EQ(check.Fault(), "");
  EXPECT_EQ(check.Bytes(), text.size());
  EXPECT_EQ(check.Pieces(), 1u);
  EXPECT_EQ(check.Prompts(), 3u);
  // Not one byte off the part's end.
  const std::string early = "\r" + text.substr(0, part - 1) + "\r$ " + text.substr(part - 1) + "$ ";
  EXPECT_NE(Fed(early, 4096).Fault(), "");
}

} // namespace
