#ifndef SKELLAN_BENCH_SPAWNEDPROCESS_H
#define SKELLAN_BENCH_SPAWNEDPROCESS_H

#include <chrono>
#include <string>
#include <sys/resource.h>
#include <sys/types.h>
#include <vector>

// A program the benchmark runs, its standard input and output on pipes
// (non-blocking on this side), or either on a descriptor the benchmark
// gives it, its standard error shared with the benchmark's. The
// child is killed if the benchmark dies, and when this object goes while it
// still runs, so no run can leave a process behind.
class SpawnedProcess {
public:
  using Clock = std::chrono::steady_clock;

  // Starts argv[0], looked up in PATH when it has no slash; throws
  // std::runtime_error when it cannot be started. With `outputFd` the child
  // writes there instead of to a pipe, and Output() is -1; with `inputFd` it
  // reads from there, and Input() is -1; `environment` holds NAME=VALUE
  // entries set on top of the benchmark's own.
  explicit SpawnedProcess(const std::vector<std::string> &argv, int outputFd = -1,
                          const std::vector<std::string> &environment = {}, int inputFd = -1);
  ~SpawnedProcess();
  SpawnedProcess(const SpawnedProcess &) = delete;
  SpawnedProcess &operator=(const SpawnedProcess &) = delete;

  // The write end of the child's standard input; -1 once closed.
  int Input() const { return input; }
  // The read end of the child's standard output; -1 when it was given one.
  int Output() const { return output; }
  void CloseInput();

  // Waits for the child to end, at most until the deadline; on time-out
  // kills it and returns false.
  bool WaitForExit(Clock::time_point deadline);
  // The exit status, or 128 + the signal that ended it.
  int ExitCode() const { return exitCode; }
  // Peak resident set of the ended child, in KiB.
  long PeakRssKiB() const { return usage.ru_maxrss; }
  // User plus system CPU time of the ended child, in seconds.
  double CpuSeconds() const;
  double UserSeconds() const;
  double SystemSeconds() const;
  // CPU time the running child's threads have had so far, in seconds, to
  // the nanosecond; NaN where /proc does not tell.
  double CpuSecondsSoFar() const;
  const std::string &Name() const { return name; }

private:
  void CloseOutput();
  // Reaps the child if it has ended; true when it has.
  bool TryReap();
  void Kill();

  std::string name;
  pid_t pid = -1;
  int input = -1;
  int output = -1;
  // Becomes readable when the child ends; -1 where the kernel has none.
  int pidFd = -1;
  bool reaped = false;
  int exitCode = -1;
  rusage usage{};
};

#endif
