#ifndef SKELLAN_BENCH_BENCHOPTIONS_H
#define SKELLAN_BENCH_BENCHOPTIONS_H

#include <cstddef>
#include <string>
#include <vector>

// The benchmark's command line.
class BenchOptions {
public:
  enum class Action { Run, ShowUsage, Fail };

  // The programs this build made and the folder it keeps results in.
  BenchOptions(std::string client, std::string server, std::string bare, std::string feed,
               std::string outDir);

  Action Parse(const std::vector<std::string> &args);
  static std::string Usage();
  const std::string &Error() const { return error; }

  std::string clientProgram;
  std::string serverProgram;
  std::string bareProgram;
  std::string feedProgram;
  // Empty when socat is left out.
  std::string socatProgram = "socat";
  std::string outDir;
  // Which of skellan, socat and bare run, in this order in round one.
  std::vector<std::string> clients{"skellan", "socat", "bare"};
  std::size_t rounds = 5;
  // Per client and round.
  std::size_t roundTrips = 2000;
  std::size_t lineBytes = 32;
  std::size_t messages = 1000;
  std::size_t messageBytes = 60 * 1024;
  std::size_t startups = 20;
  std::size_t scriptEnds = 5;
  // The mask's cost: rounds (0 leaves the figure out), the bytes of each
  // stream and the number of short messages.
  std::size_t maskRounds = 2;
  std::size_t streamBytes = std::size_t(1) << 30;
  std::size_t shortMessages = 1000000;
  static constexpr std::size_t shortMessageBytes = 32;
  // The line editor's figures: rounds (0 leaves them out), the characters
  // of the long line, the number of short lines and their characters.
  std::size_t editorRounds = 3;
  std::size_t editorLineBytes = 1024 * 1024;
  std::size_t editorLines = 20000;
  std::size_t editorShortBytes = 30;
  // Only the line editor's figures: no round trips, no mask.
  bool editorOnly = false;
  // For each single wait.
  std::size_t timeoutSeconds = 60;
  // Whether each client also runs under strace, to count its system calls.
  bool strace = false;
  std::string straceProgram = "strace";
  // The round trips of a run under strace.
  static constexpr std::size_t tracedRoundTrips = 1000;

private:
  bool Fail(const std::string &message);
  bool Count(const std::string &option, const std::string &text, std::size_t minimum,
             std::size_t &value, std::size_t maximum = maxCount);

  // Large enough for any sensible run, small enough that a typo cannot ask
  // for days of work or all the memory.
  static constexpr std::size_t maxCount = 100000000;

  std::string error;
};

#endif
