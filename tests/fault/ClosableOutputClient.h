#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>

// The skellan client with a standard output the test can take away: a pipe
// whose read end the test closes, as when the reader at the end of a shell
// pipeline quits early; or no standard output at all, as `skellan >&-`
// starts it. The client starts with SIGPIPE at its default action or
// ignored, as its parent may have left it. Every wait has a time-out, and
// the client is killed when the object goes.
class ClosableOutputClient {
public:
  using Duration = std::chrono::milliseconds;
  enum class Sigpipe { Default, Ignored };
  enum class Start { WithOutput, WithoutOutput };

  explicit ClosableOutputClient(Sigpipe sigpipe, Start start = Start::WithOutput);
  ~ClosableOutputClient();
  ClosableOutputClient(const ClosableOutputClient &) = delete;
  ClosableOutputClient &operator=(const ClosableOutputClient &) = delete;

  // Waits until the output read so far contains text.
  bool WaitForOutput(const std::string &text, Duration timeout);
  // Closes the read end of the client's standard output: from then on
  // every write the client makes to it fails.
  void CloseOutput();
  // Writes text to the client's standard input; false when the client no
  // longer takes it or the time ran out.
  bool Send(const std::string &text, Duration timeout);
  // Sends line after line until the client exits, and returns its exit
  // status (128 + N when killed by signal N), or nothing on time-out.
  std::optional<int> FeedUntilExit(const std::string &line, Duration timeout);

  const std::string &Output() const { return output_; }
  const std::string &ErrorOutput() const { return errorOutput_; }
  pid_t Pid() const { return pid_; }

private:
  // Reads what the client wrote, waiting at most `milliseconds`.
  void Pump(int milliseconds);
  // Collects the exit status if the client has ended.
  void Reap();

  pid_t pid_ = -1;
  int input_ = -1;
  int stdout_ = -1;
  int stderr_ = -1;
  std::string output_;
  std::string errorOutput_;
  std::optional<int> exitStatus_;
};
