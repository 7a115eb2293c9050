#include "ClientSession.h"

#include <gtest/gtest.h>

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

} // namespace
