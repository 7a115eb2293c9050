// skellan-bench: skellan against socat and a bare client; see README.md.
#include "BenchOptions.h"
#include "BenchRunner.h"
#include "MaskRunner.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <unistd.h>

namespace {
// Whether `program` would be found by the exec call that starts it.
bool CanRun(const std::string &program) {
  if (program.find('/') != std::string::npos)
    return access(program.c_str(), X_OK) == 0;
  const char *path = std::getenv("PATH");
  std::istringstream folders(path != nullptr ? path : "");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    if (!folder.empty() && access((folder + "/" + program).c_str(), X_OK) == 0)
      return true;
  }
  return false;
}
} // namespace

int main(int argc, char **argv) {
  // A client that dies shows up as a failed write to it, not a signal.
  std::signal(SIGPIPE, SIG_IGN);
  BenchOptions options(SKELLAN_BENCH_CLIENT, SKELLAN_BENCH_SERVER, SKELLAN_BENCH_BARE,
                       SKELLAN_BENCH_FEED, SKELLAN_BENCH_OUT_DIR);
  switch (options.Parse(std::vector<std::string>(argv + 1, argv + argc))) {
  case BenchOptions::Action::ShowUsage:
    std::cout << BenchOptions::Usage();
    return 0;
  case BenchOptions::Action::Fail:
    std::cerr << "skellan-bench: " << options.Error() << "\n" << BenchOptions::Usage();
    return 2;
  case BenchOptions::Action::Run:
    break;
  }
  auto socat = std::find(options.clients.begin(), options.clients.end(), "socat");
  if (socat != options.clients.end() && !CanRun(options.socatProgram)) {
    std::cout << "socat: " << options.socatProgram << " not found, left out\n";
    options.clients.erase(socat);
    if (options.clients.empty()) {
      std::cerr << "skellan-bench: no client left to measure\n";
      return 2;
    }
  }

  // The mask's cost is Skellan's, calibrated by the bare client.
  const auto listed = [&options](const char *name) {
    return std::find(options.clients.begin(), options.clients.end(), name) != options.clients.end();
  };
  const bool maskFigure = options.maskRounds > 0 && listed("skellan") && listed("bare");
  if (options.maskRounds > 0 && !maskFigure)
    std::cout << "the mask's cost needs both skellan and bare among --clients: left out\n";

  if (options.strace && !CanRun(options.straceProgram)) {
    std::cerr << "skellan-bench: --strace needs " << options.straceProgram << ", not found\n";
    return 2;
  }

  try {
    std::filesystem::create_directories(options.outDir);
    const std::string runsPath = options.outDir + "/runs.csv";
    const std::string summaryPath = options.outDir + "/summary.csv";
    std::ofstream runs(runsPath);
    if (!runs)
      throw std::runtime_error("cannot write " + runsPath);

    std::cout << "skellan-bench: " << options.rounds
              << " round(s), each with, per client: " << options.roundTrips << " round trips of a "
              << options.lineBytes + 1 << "-byte line, " << options.messages << " messages of "
              << options.messageBytes + 1 << " bytes, " << options.startups
              << " start-to-exit runs, " << options.scriptEnds << " end-of-script runs\n";
    if (maskFigure)
      std::cout << "the mask's cost: " << options.maskRounds
                << " round(s), each with text streams of " << options.streamBytes
                << " bytes (the coloured log a quarter) and " << options.shortMessages
                << " messages of " << BenchOptions::shortMessageBytes
                << " bytes, through skellan and bare to a pipe and to a terminal\n";
    // Other work on the machine shows in every figure.
    std::ifstream load("/proc/loadavg");
    std::string oneMinute;
    if (load >> oneMinute)
      std::cout << "load average at the start: " << oneMinute << "\n";
    BenchRunner runner(options, runs, std::cout);
    ResultTable table = runner.Run();

    std::ofstream summary(summaryPath);
    table.WriteCsv(summary);
    runs.close();
    summary.close();
    if (!runs || !summary)
      throw std::runtime_error("cannot write the CSV files in " + options.outDir);
    std::string csvFiles = summaryPath + ", " + runsPath;

    std::unique_ptr<MaskReport> mask;
    if (maskFigure) {
      const std::string maskRunsPath = options.outDir + "/mask-runs.csv";
      const std::string maskPath = options.outDir + "/mask.csv";
      std::ofstream maskRuns(maskRunsPath);
      MaskRunner maskRunner(options, maskRuns, std::cout);
      mask = std::make_unique<MaskReport>(maskRunner.Run());
      std::ofstream maskSummary(maskPath);
      mask->WriteCsv(maskSummary);
      maskRuns.close();
      maskSummary.close();
      if (!maskRuns || !maskSummary)
        throw std::runtime_error("cannot write the CSV files in " + options.outDir);
      csvFiles += ", " + maskPath + ", " + maskRunsPath;
    }

    std::cout << "\n";
    table.Print(std::cout);
    if (mask != nullptr) {
      std::cout << "\n";
      mask->Print(std::cout);
    }
    std::cout << "\nCSV: " << csvFiles << "\n";
  } catch (const std::exception &failure) {
    // Ends a progress line the failure cut short.
    std::cout << std::endl;
    std::cerr << "skellan-bench: " << failure.what() << "\n";
    return 1;
  }
  return 0;
}
