#include "PosixTerminal.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cwchar>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {
// How long the rest of an escape sequence may take behind its ESC before
// the ESC counts as the Escape key.
constexpr std::chrono::milliseconds escapeWait(50);

// The most bytes of input one ReadEvents takes: a long paste is applied in
// parts of this size, each drawn once.
constexpr std::size_t batchBytes = 64 * 1024;

// How long a signal to end may wait for the program to act on it.
constexpr unsigned endingGraceSeconds = 1;

// How long Suspend waits, in slices of 10 ms, for a stop that does not
// come: the kernel drops it in a process group that no shell controls.
constexpr int stopWaitSlices = 100;

// The signal handler's way out; one terminal per process.
int signalPipe[2] = {-1, -1};

// Set once the process runs again after Suspend stopped it.
std::atomic<bool> continued{false};
static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler sets it");

void OnContinue(int) { continued = true; }

// What a signal handler needs to put the terminal back when the program
// cannot: copies, so that they outlive the terminal object.
termios restoreModes{};
int restoreInput = -1;
int restoreOutput = -1;
std::atomic<bool> rawNow{false};
// The first signal to end that came, or 0.
std::atomic<int> endingSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler sets it");

bool Ends(int signal) { return signal == SIGTERM || signal == SIGHUP || signal == SIGINT; }

int WidthOfUtf8(const std::string &bytes) {
  std::mbstate_t state{};
  wchar_t wide = 0;
  const std::size_t used = std::mbrtowc(&wide, bytes.data(), bytes.size(), &state);
  if (used != bytes.size())
    return -1;
  return ::wcwidth(wide);
}
} // namespace

const int PosixTerminal::caught[caughtCount] = {SIGWINCH, SIGTSTP, SIGCONT,
                                                SIGTERM,  SIGHUP,  SIGINT};

PosixTerminal::PosixTerminal(int input, int output, bool utf8)
    : input(input), output(output), decoder(utf8, WidthOfUtf8) {}

PosixTerminal::~PosixTerminal() { LeaveRaw(); }

bool PosixTerminal::EnterRaw() {
  if (raw)
    return true;
  if (tcgetattr(input, &saved) != 0)
    return false;
  if (signalPipe[0] < 0 && pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
    return false;
  if (!SetRaw())
    return false;
  raw = true;
  restoreModes = saved;
  restoreInput = input;
  restoreOutput = output;
  rawNow = true;
  CatchSignals();
  // Bracketed paste: a pasted block arrives marked, so its line ends and
  // tabs are text, not keys.
  Write("\x1b[?2004h");
  return true;
}

bool PosixTerminal::SetRaw() {
  termios modes = saved;
  modes.c_lflag &= ~(ECHO | ICANON | ISIG | IEXTEN);
  modes.c_iflag &= ~(IXON | ICRNL | INLCR | IGNCR | ISTRIP | BRKINT);
  modes.c_cc[VMIN] = 1;
  modes.c_cc[VTIME] = 0;
  return tcsetattr(input, TCSADRAIN, &modes) == 0;
}

void PosixTerminal::LeaveRaw() {
  if (!raw)
    return;
  Write("\x1b[?2004l");
  tcsetattr(input, TCSADRAIN, &saved);
  rawNow = false;
  RestoreSignals();
  raw = false;
}

void PosixTerminal::OnSignal(int signal) {
  const int kept = errno;
  const unsigned char number = static_cast<unsigned char>(signal);
  if (write(signalPipe[1], &number, 1) < 0) {
    // A full pipe holds enough of them already.
  }
  int none = 0;
  if (Ends(signal) && endingSignal.compare_exchange_strong(none, signal)) {
    // The last resort stays in place after LeaveRaw: ending may hang later.
    struct sigaction deadline {};
    deadline.sa_handler = OnDeadline;
    sigemptyset(&deadline.sa_mask);
    sigaction(SIGALRM, &deadline, nullptr);
    alarm(endingGraceSeconds);
  }
  errno = kept;
}

void PosixTerminal::OnDeadline(int) {
  // Only calls that are safe in a signal handler.
  if (rawNow) {
    const char bracketedPasteOff[] = "\x1b[?2004l";
    if (write(restoreOutput, bracketedPasteOff, sizeof bracketedPasteOff - 1) < 0) {
      // The modes matter more than the paste mode.
    }
    tcsetattr(restoreInput, TCSANOW, &restoreModes);
  }
  const int signal = endingSignal;
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  sigemptyset(&byDefault.sa_mask);
  sigaction(signal, &byDefault, nullptr);
  raise(signal);
}

void PosixTerminal::CatchSignals() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int i = 0; i < caughtCount; ++i)
    sigaction(caught[i], &action, &previous[i]);
}

void PosixTerminal::RestoreSignals() {
  for (int i = 0; i < caughtCount; ++i)
    sigaction(caught[i], &previous[i], nullptr);
}

void PosixTerminal::ReadEvents(std::deque<Event> &events, int milliseconds) {
  using Clock = std::chrono::steady_clock;
  const bool forever = milliseconds < 0;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    Event event;
    event.type = Event::KeyPressed;
    const std::size_t before = events.size();
    while (decoder.Next(event.key))
      events.push_back(event);
    if (events.size() > before)
      return;
    Clock::time_point wake = forever ? Clock::time_point::max() : deadline;
    if (decoder.Waiting()) {
      if (Clock::now() >= waitingSince + escapeWait) {
        decoder.Flush();
        continue;
      }
      wake = std::min(wake, waitingSince + escapeWait);
    }
    int timeout = -1;
    if (wake != Clock::time_point::max()) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(wake - Clock::now());
      timeout = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
    }
    pollfd fds[2] = {{input, POLLIN, 0}, {signalPipe[0], POLLIN, 0}};
    const int ready = poll(fds, 2, timeout);
    if (ready < 0 && errno == EINTR)
      continue;
    if (ready < 0) {
      event.type = Event::EndOfInput;
      events.push_back(event);
      return;
    }
    if (ready == 0) {
      if (!forever && Clock::now() >= deadline)
        return;
      continue;
    }
    unsigned char signal = 0;
    if ((fds[1].revents & POLLIN) && read(signalPipe[0], &signal, 1) == 1) {
      switch (signal) {
      case SIGWINCH:
        event.type = Event::Resized;
        break;
      case SIGTSTP:
        // A stop from outside is taken as the Ctrl-Z key, so the editor
        // leaves its line in order first.
        event.key = Key::Ctrl('Z');
        break;
      case SIGCONT:
        // Whoever had the terminal meanwhile may have changed its modes.
        SetRaw();
        event.type = Event::Resumed;
        break;
      default:
        event.type = Event::Terminated;
        break;
      }
      events.push_back(event);
      return;
    }
    if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) && !ReadInput()) {
      while (decoder.Next(event.key))
        events.push_back(event);
      event.type = Event::EndOfInput;
      events.push_back(event);
      return;
    }
  }
}

bool PosixTerminal::ReadInput() {
  char bytes[4096];
  std::size_t taken = 0;
  do {
    const ssize_t got = read(input, bytes, sizeof bytes);
    if (got < 0 && (errno == EINTR || errno == EAGAIN))
      break;
    if (got <= 0)
      return false;
    decoder.Feed(bytes, static_cast<std::size_t>(got));
    waitingSince = std::chrono::steady_clock::now();
    taken += static_cast<std::size_t>(got);
    // What a paste has put there already comes in the same batch.
    pollfd more = {input, POLLIN, 0};
    if (taken >= batchBytes || poll(&more, 1, 0) != 1)
      break;
  } while (true);
  return true;
}

Terminal::Size PosixTerminal::GetSize() {
  winsize size{};
  if (ioctl(output, TIOCGWINSZ, &size) != 0 || size.ws_col == 0)
    return {80, 24};
  return {size.ws_col, size.ws_row};
}

bool PosixTerminal::Write(const std::string &bytes) {
  // One write call takes it all unless a signal or a full terminal cuts it
  // short; then the rest follows.
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = write(output, bytes.data() + done, bytes.size() - done);
    if (wrote < 0 && errno == EINTR)
      continue;
    if (wrote <= 0)
      return false;
    done += static_cast<std::size_t>(wrote);
  }
  return true;
}

void PosixTerminal::Suspend() {
  LeaveRaw();
  struct sigaction stop {};
  if (sigaction(SIGTSTP, nullptr, &stop) == 0 && stop.sa_handler == SIG_IGN) {
    // Started with the stop ignored: Ctrl-Z stops nothing, as in cooked mode.
    EnterRaw();
    return;
  }
  struct sigaction watch {};
  struct sigaction kept {};
  watch.sa_handler = OnContinue;
  sigemptyset(&watch.sa_mask);
  sigaction(SIGCONT, &watch, &kept);
  continued = false;
  // The whole process group stops, as on the terminal's own Ctrl-Z: a
  // script that started the client stops with it, and so its shell sees the
  // job stopped and takes the terminal back.
  kill(0, SIGTSTP);
  // Another thread may take the stop for the process a moment after kill
  // returns; raw mode must not come back before the process has stopped and
  // been continued.
  for (int slice = 0; slice < stopWaitSlices && !continued; ++slice)
    poll(nullptr, 0, 10);
  sigaction(SIGCONT, &kept, nullptr);
  EnterRaw();
}

std::vector<Char> PosixTerminal::Characters(const std::string &bytes) {
  return decoder.Characters(bytes);
}
