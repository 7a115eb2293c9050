#ifndef SKELLAN_BENCH_CONSOLEDRIVER_H
#define SKELLAN_BENCH_CONSOLEDRIVER_H

#include "SpawnedProcess.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Plays the operator of a console program: types into its standard input
// and reads its standard output at the same time, so that neither pipe can
// fill up and stall the two, and counts every byte the program writes.
// Waits end when a byte count is reached: the programs driven write a
// known number of bytes for what they are given, while how those bytes are
// cut into writes varies from run to run.
class ConsoleDriver {
public:
  using Clock = SpawnedProcess::Clock;

  explicit ConsoleDriver(SpawnedProcess &process);

  // Writes `text` `repeats` times over and reads until the program has
  // written `outputTotal` bytes since it started. False when the time runs
  // out or a pipe closes first.
  bool Exchange(const std::string &text, std::size_t repeats, std::uint64_t outputTotal,
                Clock::time_point deadline);
  // Reads one line of output (without its line feed).
  bool ReadLine(std::string &line, Clock::time_point deadline);
  // Closes the program's input and reads until it closes its output.
  bool Finish(Clock::time_point deadline);

  std::uint64_t OutputBytes() const { return outputBytes; }
  // The start of what the last call read, up to RecentLimit bytes, for
  // checking what came back.
  const std::string &Recent() const { return recent; }
  static constexpr std::size_t RecentLimit = 4096;

private:
  // Takes in what output is there; false on end of output or an error.
  bool ReadAvailable(bool &ended);
  bool Wait(bool forInput, bool forOutput, Clock::time_point deadline);

  SpawnedProcess &process;
  std::unique_ptr<char[]> buffer;
  std::uint64_t outputBytes = 0;
  std::string recent;
};

#endif
