// The POSIX terminal on a pseudo-terminal of the test's own.
#include "PosixTerminal.h"
#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {
bool SameModes(const termios &a, const termios &b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

// A pseudo-terminal: the terminal's end and the program's.
struct PseudoTerminal {
  PseudoTerminal() {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0)
      program = open(ptsname(master), O_RDWR | O_NOCTTY);
  }
  ~PseudoTerminal() {
    for (int fd : {master, program}) {
      if (fd >= 0)
        close(fd);
    }
  }
  int master = -1;
  int program = -1;
};

// A program that takes no event, as one that waits on something that does
// not end: a signal to end still ends it, by that signal, and the terminal
// is put back first.
TEST(PosixTerminalTest, ASignalToEndThatIsNotTakenEndsTheProgramWithTheModesRestored) {
  for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
    SCOPED_TRACE(strsignal(signal));
    PseudoTerminal pty;
    ASSERT_GE(pty.program, 0);
    termios before{};
    ASSERT_EQ(tcgetattr(pty.program, &before), 0);
    ChildProcess program([&pty, signal] {
      PosixTerminal terminal(pty.program, pty.program, true);
      if (!terminal.EnterRaw())
        return 2;
      kill(getpid(), signal);
      for (;;)
        pause();
    });
    const std::optional<int> status = program.WaitForExit(std::chrono::seconds(20));
    ASSERT_TRUE(status.has_value()) << "the program never ended";
    EXPECT_EQ(program.EndingSignal(), signal) << "status " << *status;
    termios after{};
    ASSERT_EQ(tcgetattr(pty.program, &after), 0);
    EXPECT_TRUE(SameModes(after, before));
  }
}
} // namespace
