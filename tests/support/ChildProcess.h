#ifndef SKELLAN_TESTS_SUPPORT_CHILDPROCESS_H
#define SKELLAN_TESTS_SUPPORT_CHILDPROCESS_H

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// A program run for a test, or a part of the test run in a process of its
// own, talking through pipes on its stdin, stdout and stderr. Output is
// collected whenever the test sends or waits, so a child never blocks on a
// full pipe. Every wait has a time-out, and the child is killed when the
// object goes, so no test can leave a process behind.
class ChildProcess {
public:
  using Duration = std::chrono::milliseconds;
  static constexpr Duration kDefaultTimeout{10000};

  // How the child's parent may have left SIGPIPE: at its default action, as
  // a shell leaves it, or ignored.
  enum class Sigpipe { Default, Ignored };
  // The child's standard output: a pipe to the test, or closed from the
  // start, as `program >&-` starts it.
  enum class Stdout { Piped, Closed };

  // Starts argv[0] (a path) with the given arguments; throws on failure.
  explicit ChildProcess(const std::vector<std::string> &argv, Sigpipe sigpipe = Sigpipe::Default,
                        Stdout output = Stdout::Piped);
  // Runs `body` in a fork of the test process; the child ends with the
  // status that body returns. Throws if the fork fails.
  explicit ChildProcess(const std::function<int()> &body);
  ~ChildProcess();
  ChildProcess(const ChildProcess &) = delete;
  ChildProcess &operator=(const ChildProcess &) = delete;

  // Writes text to the child's stdin; false if the child stopped reading
  // or the time ran out.
  bool Send(const std::string &text, Duration timeout = kDefaultTimeout);
  void CloseInput();
  // Closes the test's end of the child's stdout, as a pipeline's reader
  // that quits early: every later write of the child to it fails.
  void CloseOutput();

  // Waits until stdout, from byte offset `from` on, contains text.
  bool WaitForOutput(const std::string &text, Duration timeout = kDefaultTimeout,
                     std::size_t from = 0);
  // Waits until stdout holds at least size bytes.
  bool WaitForOutputSize(std::size_t size, Duration timeout = kDefaultTimeout);
  // Waits for the child to end and for all its output; returns its exit
  // code (128 + N when killed by signal N), or nothing on time-out.
  std::optional<int> WaitForExit(Duration timeout = kDefaultTimeout);
  // The signal that ended the child, once a signal has.
  std::optional<int> EndingSignal() const { return endingSignal_; }

  // Where stdout goes from now on instead of into Output(): each run of
  // bytes as it is read, so that a test can check a gigabyte of output
  // without keeping it. An empty sink goes back to Output().
  using Sink = std::function<void(const char *bytes, std::size_t length)>;
  void SetOutputSink(Sink sink);
  // Collects output until done() holds; false if the time ran out or the
  // output ended first.
  bool WaitUntil(const std::function<bool()> &done, Duration timeout = kDefaultTimeout);

  // Takes in whatever output is there now, without waiting.
  void Collect();
  void Signal(int signal);
  pid_t Pid() const { return pid_; }
  // The most memory the running child has had resident so far (VmHWM in
  // /proc/PID/status), in bytes; nothing once it has ended.
  std::optional<std::size_t> PeakResidentBytes() const;
  bool Running() const { return !exitStatus_.has_value(); }

  // What the child has written so far (as far as collected).
  const std::string &Output() const { return output_; }
  const std::string &ErrorOutput() const { return errorOutput_; }

private:
  // Collects output for at most `timeout`; returns early once something
  // arrived (or stdin became writable, when wantInput is set).
  void Pump(Duration timeout, bool wantInput);
  void Reap(bool block);
  // Forks a child that runs `child` with the pipes as its standard files;
  // `exec` when `child` returns only if exec failed.
  void Start(const std::function<void()> &child, bool exec, const std::string &what,
             Sigpipe sigpipe, Stdout output);

  pid_t pid_ = -1;
  int input_ = -1;
  int stdout_ = -1;
  int stderr_ = -1;
  std::string output_;
  std::string errorOutput_;
  Sink sink_;
  std::optional<int> exitStatus_;
  std::optional<int> endingSignal_;
};

#endif
