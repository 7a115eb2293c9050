#ifndef SKELLAN_TESTS_SUPPORT_EDITORFIXTURE_H
#define SKELLAN_TESTS_SUPPORT_EDITORFIXTURE_H

#include "LineEditor.h"
#include "ScreenCompositor.h"
#include "ScriptedTerminal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// A line editor and its compositor on a scripted terminal of 40 columns
// and 8 rows, with a completer of fixed words. Every test ends with the
// terminal out of raw mode and no sequence outside the editor's set.
class EditorFixture : public testing::Test {
protected:
  // Offers fixed words and notes what it was asked.
  class FixedCompleter : public Completer {
  public:
    std::vector<std::string> Candidates(const std::string &before,
                                        const std::string &word) override {
      asked.push_back(before + "|" + word);
      std::vector<std::string> found;
      for (const std::string &candidate : words) {
        if (candidate.compare(0, word.size(), word) == 0)
          found.push_back(candidate);
      }
      return found;
    }
    std::vector<std::string> words;
    std::vector<std::string> asked;
  };

  // Keys as a VT terminal sends them.
  inline static const std::string up = "\x1b[A", down = "\x1b[B", right = "\x1b[C", left = "\x1b[D",
                                  home = "\x1b[H", end = "\x1b[F", del = "\x1b[3~",
                                  ctrlLeft = "\x1b[1;5D", ctrlRight = "\x1b[1;5C";
  static std::string Ctrl(char letter) {
    return std::string(1, static_cast<char>(letter - 'A' + 1));
  }

  void SetUp() override {
    terminal.compositor = &screen;
    ASSERT_TRUE(editor.Start());
  }
  void TearDown() override {
    editor.Stop();
    EXPECT_FALSE(terminal.raw) << "the terminal was left raw";
    EXPECT_TRUE(terminal.screen.Unknown().empty())
        << "a sequence outside the editor's set: " << terminal.screen.Unknown().front();
  }

  // The next line the editor returns.
  std::string Line() {
    std::string line;
    EXPECT_EQ(editor.ReadLine(line), LineEditor::GotLine) << terminal.screen.Picture();
    return line;
  }
  // Types the keys and returns the line they make with Enter behind.
  std::string Edit(const std::string &keys) {
    terminal.Type(keys + "\r");
    return Line();
  }
  std::string CursorRow() { return terminal.screen.Row(terminal.screen.CursorRow()); }
  std::string Picture() { return terminal.screen.Picture(); }

  ScriptedTerminal terminal{40, 8};
  FixedCompleter completer;
  ScreenCompositor screen{terminal};
  LineEditor editor{terminal, screen, completer, "$ "};
};

#endif
