#include "PseudoTerminal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {
constexpr unsigned short columns = 80;
constexpr unsigned short rows = 24;
} // namespace

PseudoTerminal::PseudoTerminal() {
  // Close-on-exec both: only the client given the slave may hold it, or the
  // master would never see the end of its output.
  master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  char name[128];
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
      ptsname_r(master, name, sizeof name) != 0 ||
      (slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC)) < 0) {
    const int error = errno;
    if (master >= 0)
      close(master);
    throw std::runtime_error("cannot open a pseudo-terminal: " + std::string(std::strerror(error)));
  }
  // Every run gets the same terminal, or none.
  termios modes{};
  winsize size{};
  size.ws_col = columns;
  size.ws_row = rows;
  bool ready = tcgetattr(slave, &modes) == 0;
  modes.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  ready = ready && tcsetattr(slave, TCSANOW, &modes) == 0 &&
          ioctl(master, TIOCSWINSZ, &size) == 0 &&
          fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK) == 0;
  if (!ready) {
    const int error = errno;
    close(slave);
    close(master);
    throw std::runtime_error("cannot set up a pseudo-terminal: " +
                             std::string(std::strerror(error)));
  }
}

PseudoTerminal::~PseudoTerminal() {
  CloseSlave();
  close(master);
}

void PseudoTerminal::CloseSlave() {
  if (slave >= 0)
    close(slave);
  slave = -1;
}
