// skellan-bench: skellan against socat and a bare client; see README.md.
#include "BenchOptions.h"
#include "BenchRunner.h"
#include "EditorRunner.h"
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

// Other work on the machine shows in every figure.
void PrintLoad() {
  std::ifstream load("/proc/loadavg");
  std::string oneMinute;
  if (load >> oneMinute)
    std::cout << "load average at the start: " << oneMinute << "\n";
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
  if (options.maskRounds > 0 && !maskFigure && !options.editorOnly)
    std::cout << "the mask's cost needs both skellan and bare among --clients: left out\n";
  const bool editorFigures = options.editorRounds > 0 && listed("skellan");
  if (options.editorRounds > 0 && !editorFigures)
    std::cout << "the line editor's figures need skellan among --clients: left out\n";

  if (options.strace && !CanRun(options.straceProgram)) {
    std::cerr << "skellan-bench: --strace needs " << options.straceProgram << ", not found\n";
    return 2;
  }

  try {
    std::filesystem::create_directories(options.outDir);
    std::string csvFiles;
    std::unique_ptr<ResultTable> table;
    std::unique_ptr<MaskReport> mask;
    if (!options.editorOnly) {
      const std::string runsPath = options.outDir + "/runs.csv";
      const std::string summaryPath = options.outDir + "/summary.csv";
      std::ofstream runs(runsPath);
      if (!runs)
        throw std::runtime_error("cannot write " + runsPath);

      std::cout << "skellan-bench: " << options.rounds
                << " round(s), each with, per client: " << options.roundTrips
                << " round trips of a " << options.lineBytes + 1 << "-byte line, "
                << options.messages << " messages of " << options.messageBytes + 1 << " bytes, "
                << options.startups << " start-to-exit runs, " << options.scriptEnds
                << " end-of-script runs\n";
      if (maskFigure)
        std::cout << "the mask's cost: " << options.maskRounds
                  << " round(s), each with text streams of " << options.streamBytes
                  << " bytes (the coloured log a quarter) and " << options.shortMessages
                  << " messages of " << BenchOptions::shortMessageBytes
                  << " bytes, through skellan and bare to a pipe and to a terminal\n";
      PrintLoad();
      BenchRunner runner(options, runs, std::cout);
      table = std::make_unique<ResultTable>(runner.Run());

      std::ofstream summary(summaryPath);
      table->WriteCsv(summary);
      runs.close();
      summary.close();
      if (!runs || !summary)
        throw std::runtime_error("cannot write the CSV files in " + options.outDir);
      csvFiles = summaryPath + ", " + runsPath;

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
    }

    std::unique_ptr<EditorReport> editor;
    if (editorFigures) {
      std::cout << "the line editor: " << options.editorRounds << " round(s), each with a line of "
                << options.editorLineBytes << " characters and " << options.editorLines
                << " lines of " << options.editorShortBytes
                << ", typed as keys and pasted, and the same through the plain road\n";
      if (options.editorOnly)
        PrintLoad();
      const std::string editorRunsPath = options.outDir + "/editor-runs.csv";
      const std::string editorPath = options.outDir + "/editor.csv";
      std::ofstream editorRuns(editorRunsPath);
      EditorRunner editorRunner(options, editorRuns, std::cout);
      editor = std::make_unique<EditorReport>(editorRunner.Run());
      std::ofstream editorSummary(editorPath);
      editor->WriteCsv(editorSummary);
      editorRuns.close();
      editorSummary.close();
      if (!editorRuns || !editorSummary)
        throw std::runtime_error("cannot write the CSV files in " + options.outDir);
      csvFiles += (csvFiles.empty() ? "" : ", ") + editorPath + ", " + editorRunsPath;
    }

    if (table != nullptr) {
      std::cout << "\n";
      table->Print(std::cout);
    }
    if (mask != nullptr) {
      std::cout << "\n";
      mask->Print(std::cout);
    }
    if (editor != nullptr) {
      std::cout << "\n";
      editor->Print(std::cout);
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
