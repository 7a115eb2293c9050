#ifndef SKELLAN_BENCH_EDITORRUNNER_H
#define SKELLAN_BENCH_EDITORRUNNER_H

#include "BenchOptions.h"
#include "EditorReport.h"
#include "SpawnedProcess.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>

class TypingDriver;

// Measures the line editor on a terminal (README.md, "The line editor"):
// starts a counting server, then in every round runs Skellan on a pseudo-
// terminal, given a long line and many short ones as keys and as bracketed
// pastes, and the same input through the plain road, its standard input a
// pipe and its output the terminal. Each step is timed until the server
// has logged what it was sent. The order of the runs moves on by one each
// round; every run checks that the server got exactly the bytes sent and
// that the client exited with status 0.
class EditorRunner {
public:
  // `runs` receives one CSV record per step; `progress` a line per round.
  EditorRunner(const BenchOptions &options, std::ostream &runs, std::ostream &progress);
  ~EditorRunner();
  EditorRunner(const EditorRunner &) = delete;
  EditorRunner &operator=(const EditorRunner &) = delete;

  // Throws std::runtime_error when a run fails or a wait times out.
  EditorReport Run();

private:
  using Clock = SpawnedProcess::Clock;

  enum Kind { LineKeys, LineRecall, LinesKeys, LinesBracketed, PlainLine, PlainLines, Kinds };
  static const char *Name(Kind kind);

  void RunOnce(Kind kind, std::size_t round);
  // Types `input` and times it until the server has `messages` messages in
  // all, `bytes` bytes.
  EditorReport::Times Timed(SpawnedProcess &client, TypingDriver &driver, const std::string &input,
                            std::size_t messages, std::uint64_t bytes, const std::string &what);
  void Record(std::size_t round, Kind kind, EditorReport::Step step,
              const EditorReport::Times &times);
  // The short lines, each ended by `end`.
  std::string Lines(const std::string &end) const;
  Clock::time_point Deadline() const;

  const BenchOptions &options;
  std::ostream &runs;
  std::ostream &progress;
  const std::string path;
  // The long line's characters, the last one a mark found nowhere else.
  const std::string line;
  EditorReport report;
  std::unique_ptr<SpawnedProcess> server;
};

#endif
