#include "ReceivedPattern.h"
#include "ClientSession.h"
#include "ClientText.h"
#include "VisibleText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

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
    SCOPED_TRACE(VisibleText(output));
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
