#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const ChildProcess::Duration kShort{200};

TEST(ChildProcess, PassesInputThroughAndReportsExitCode) {
  ChildProcess cat({"/bin/cat"});
  ASSERT_TRUE(cat.Send("first line\n"));
  EXPECT_TRUE(cat.WaitForOutput("first line\n"));
  ASSERT_TRUE(cat.Send("second"));
  cat.CloseInput();
  EXPECT_EQ(cat.WaitForExit(), 0);
  EXPECT_EQ(cat.Output(), "first line\nsecond");
  EXPECT_FALSE(cat.Running());
}

TEST(ChildProcess, ReportsExitCodeAndSignalAndStderr) {
  ChildProcess failing({"/bin/sh", "-c", "echo oops >&2; echo out; exit 3"});
  EXPECT_EQ(failing.WaitForExit(), 3);
  EXPECT_EQ(failing.ErrorOutput(), "oops\n");
  EXPECT_EQ(failing.Output(), "out\n");

  ChildProcess killed({"/bin/sleep", "30"});
  killed.Signal(SIGTERM);
  EXPECT_EQ(killed.WaitForExit(), 128 + SIGTERM);
}

TEST(ChildProcess, WaitsTimeOutInsteadOfHanging) {
  ChildProcess cat({"/bin/cat"});
  ASSERT_TRUE(cat.Send("abc\n"));
  EXPECT_FALSE(cat.WaitForOutput("xyz", kShort));
  EXPECT_TRUE(cat.WaitForOutput("abc"));
  // Text before `from` does not count.
  EXPECT_FALSE(cat.WaitForOutput("abc", kShort, 1));
  EXPECT_FALSE(cat.WaitForOutputSize(100, kShort));
  EXPECT_EQ(cat.WaitForExit(kShort), std::nullopt);
  EXPECT_TRUE(cat.Running());
}

TEST(ChildProcess, WaitsStopAtEndOfOutput) {
  ChildProcess done({"/bin/sh", "-c", "echo bye"});
  EXPECT_EQ(done.WaitForExit(), 0);
  // The output has ended, so waiting for more cannot succeed; it must not
  // take the whole time-out either (guarded by the ctest time-out).
  EXPECT_FALSE(done.WaitForOutput("never", ChildProcess::Duration(60000)));
  EXPECT_FALSE(done.Send("x"));
}

TEST(ChildProcess, MovesMoreDataThanPipesHoldWithoutDeadlock) {
  // cat writes back while we still write: without reading during Send,
  // both sides would block on full pipes.
  std::string data;
  for (int i = 0; data.size() < 4 * 1024 * 1024; ++i) {
    data += std::to_string(i) + ",";
  }
  ChildProcess cat({"/bin/cat"});
  ASSERT_TRUE(cat.Send(data));
  cat.CloseInput();
  EXPECT_EQ(cat.WaitForExit(), 0);
  EXPECT_TRUE(cat.Output() == data)
      << "got " << cat.Output().size() << " of " << data.size() << " bytes";
}

TEST(ChildProcess, KillsChildWhenDestroyed) {
  pid_t pid = 0;
  {
    ChildProcess sleeper({"/bin/sleep", "30"});
    pid = sleeper.Pid();
    ASSERT_GT(pid, 0);
    ASSERT_EQ(kill(pid, 0), 0);
  }
  // Killed and reaped: no such process any more.
  EXPECT_EQ(kill(pid, 0), -1);
  EXPECT_EQ(errno, ESRCH);
}

TEST(ChildProcess, ThrowsWhenProgramCannotRun) {
  EXPECT_THROW(ChildProcess({"/nonexistent/skellan-e2e-program"}), std::runtime_error);
  EXPECT_THROW(ChildProcess(std::vector<std::string>{}), std::invalid_argument);
}

} // namespace
