#ifndef SKELLAN_BENCH_MASKRUNNER_H
#define SKELLAN_BENCH_MASKRUNNER_H

#include "BenchOptions.h"
#include "MaskReport.h"
#include "SpawnedProcess.h"

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

// Measures what the output mask costs (README.md, "What the mask costs"):
// starts a feeding server for each workload (a plain, a UTF-8 and a
// coloured text stream on byte-type pipes, short messages on a message
// pipe), then in every round runs each workload through Skellan and the bare
// client, each once with its standard output a pipe and once a pseudo-
// terminal, their standard input a pipe. The order of the four runs moves
// on by one each round. Every run checks that the client showed the whole
// workload and exited with status 0.
class MaskRunner {
public:
  // `runs` receives one CSV record per client run; `progress` a line per round.
  MaskRunner(const BenchOptions &options, std::ostream &runs, std::ostream &progress);
  ~MaskRunner();
  MaskRunner(const MaskRunner &) = delete;
  MaskRunner &operator=(const MaskRunner &) = delete;

  // Throws std::runtime_error when a run fails or a wait times out.
  MaskReport Run();

private:
  using Clock = SpawnedProcess::Clock;

  struct Workload {
    std::string name;
    std::vector<std::string> serverOptions;
    std::string path;
    // The text the server sends, in bytes.
    std::uint64_t bytes;
    // Whether a terminal shows exactly the bytes sent, as for text with no
    // colours; otherwise it shows more, the mask's resets among them.
    bool shownAsSent;
    std::size_t index;
  };

  void StartServer(const Workload &workload);
  MaskReport::Times RunOnce(const Workload &workload, MaskReport::Run run, std::size_t round);
  Clock::time_point Deadline() const;

  const BenchOptions &options;
  std::ostream &runs;
  std::ostream &progress;
  MaskReport report;
  std::vector<Workload> workloads;
  std::vector<std::unique_ptr<SpawnedProcess>> servers;
};

#endif
