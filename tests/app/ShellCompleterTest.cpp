#include "ShellCompleter.h"
#include "EnvironmentSetting.h"
#include "SocketPeer.h"
#include "TempDirectory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
using Words = std::vector<std::string>;

// Pipes of the test's own, live ones listening, in a socket directory
// that TMPDIR names, as the name mapping reads it.
class ShellCompleterTest : public testing::Test {
protected:
  void Live(const std::string &name) {
    listeners.emplace_back();
    ASSERT_EQ(listeners.back().Listen(directory.Path() + "/CoreFxPipe_" + name), 0);
  }

  TempDirectory directory{"skellan-names"};
  EnvironmentSetting tmpdir{"TMPDIR", directory.Path()};
  std::vector<SocketPeer> listeners;
  ShellCompleter completer;
};

TEST_F(ShellCompleterTest, TheFirstWordIsACommand) {
  EXPECT_EQ(completer.Candidates("", "c"), (Words{"connect", "close"}));
  EXPECT_EQ(completer.Candidates("", "EX"), Words{"exit"});
  EXPECT_EQ(completer.Candidates("  ", "clo"), Words{"close"});
  EXPECT_EQ(completer.Candidates("", "x"), Words{});
}

TEST_F(ShellCompleterTest, PipeNamesComeAfterConnectAndItsFlag) {
  for (const char *name : {"alpha", "alpine", "Beta"})
    Live(name);
  EXPECT_EQ(completer.Candidates("connect ", "al"), (Words{"alpha", "alpine"}));
  EXPECT_EQ(completer.Candidates("CONNECT  ", ""), (Words{"Beta", "alpha", "alpine"}));
  EXPECT_EQ(completer.Candidates("connect -c ", "alph"), Words{"alpha"});
  // Names are matched as they are spelt.
  EXPECT_EQ(completer.Candidates("connect ", "b"), Words{});
  // Nowhere else does a pipe name go.
  EXPECT_EQ(completer.Candidates("close ", ""), Words{});
  EXPECT_EQ(completer.Candidates("connect alpha ", ""), Words{});
  EXPECT_EQ(completer.Candidates("hello ", "al"), Words{});
}
} // namespace
