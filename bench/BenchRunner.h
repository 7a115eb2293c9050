#ifndef SKELLAN_BENCH_BENCHRUNNER_H
#define SKELLAN_BENCH_BENCHRUNNER_H

#include "BenchOptions.h"
#include "ClientProfile.h"
#include "ConsoleDriver.h"
#include "ResultTable.h"
#include "SampleSet.h"
#include "SpawnedProcess.h"
#include "StraceSummary.h"

#include <cstddef>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <vector>

// Runs the benchmark: starts the echo servers, then in every round each
// test for each client, one client after another, starting each round with
// the next client so that none always runs first. Every run starts a fresh
// client process and checks that it wrote exactly what was expected and
// exited with status 0.
class BenchRunner {
public:
  // `runs` receives one CSV record per client run; `progress` a line per round.
  BenchRunner(const BenchOptions &options, std::ostream &runs, std::ostream &progress);
  ~BenchRunner();
  BenchRunner(const BenchRunner &) = delete;
  BenchRunner &operator=(const BenchRunner &) = delete;

  // Throws std::runtime_error when a run fails or a wait times out.
  ResultTable Run();

private:
  using Clock = SpawnedProcess::Clock;

  // What the runs of one client measured.
  struct Figures {
    SampleSet roundTripMicros;
    SampleSet roundTripCpuMicros;
    SampleSet throughputMBps;
    SampleSet throughputCpuMillis;
    SampleSet startToExitMillis;
    SampleSet scriptEndMillis;
    // Of the end-of-script runs, those whose output held the echo.
    std::size_t scriptEnds = 0;
    std::size_t scriptEchoes = 0;
    SampleSet peakRssKiB;
    // Under strace: how often each call was made per round trip, and how
    // often it failed.
    std::map<std::string, double> callsPerRoundTrip;
    std::map<std::string, double> failuresPerRoundTrip;
  };

  // Starts a skellan-bench-echo with `ending` (its option, or none) at `path`.
  void StartServer(const std::string &ending, const std::string &path);
  void StopServers();
  void RoundTrips(const ClientProfile &client, std::size_t round);
  void Throughput(const ClientProfile &client, std::size_t round);
  void StartToExit(const ClientProfile &client, std::size_t round);
  void ScriptEnd(const ClientProfile &client, std::size_t round);
  // Counts the client's system calls per round trip: those of a run with
  // round trips less those of a run without, both under strace.
  void SystemCalls(const ClientProfile &client);
  StraceSummary Traced(const ClientProfile &client, std::size_t roundTrips);
  // Ends a client's input, then checks its output total and exit status.
  void End(const ClientProfile &client, const char *test, SpawnedProcess &process,
           ConsoleDriver &driver, std::uint64_t expectedOutput);
  void Check(bool ok, const ClientProfile &client, const char *test, const std::string &what);
  void Record(std::size_t round, const ClientProfile &client, const char *test, std::size_t count,
              double median, double p99, const char *unit, double cpuMillis, long peakRssKiB);
  Clock::time_point Deadline() const;
  // The program that runs the client of that name.
  const std::string &Program(const std::string &client) const;
  ResultTable Summary() const;
  // The system calls per round trip, and below them the calls that make
  // them up, the most frequent first.
  void AddSystemCalls(ResultTable &table) const;

  const BenchOptions &options;
  std::ostream &runs;
  std::ostream &progress;
  // The echo server's socket, that of the one that closes each connection
  // after its first echo, and that of the one that stays connected.
  const std::string socketPath;
  const std::string oncePath;
  const std::string stayPath;
  const std::string line;
  const std::string bigLine;
  std::vector<ClientProfile> clients;
  std::map<std::string, Figures> figures;
  std::vector<std::unique_ptr<SpawnedProcess>> servers;
};

#endif
