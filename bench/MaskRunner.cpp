#include "MaskRunner.h"

#include "ClientProfile.h"
#include "ConsoleDriver.h"
#include "OutputTally.h"
#include "PseudoTerminal.h"

#include <fstream>
#include <ostream>
#include <stdexcept>
#include <unistd.h>

namespace {
// Skellan's reply to connect, "OK Connected\n": text too, not frame.
constexpr std::uint64_t connectedText = 13;
// How long a server gets to end by itself once its input is closed.
constexpr std::chrono::seconds serverStopTime(5);
// Every client judges text in UTF-8, whatever the benchmark's own locale:
// in another the UTF-8 workload would be no text to the mask.
const std::vector<std::string> clientEnvironment{"LC_ALL=C.UTF-8"};

std::string SizeText(std::uint64_t bytes) {
  if (bytes % (1u << 30) == 0)
    return std::to_string(bytes >> 30) + " GiB";
  if (bytes % (1u << 20) == 0)
    return std::to_string(bytes >> 20) + " MiB";
  return std::to_string(bytes) + " B";
}

std::string LoadAverage() {
  std::ifstream load("/proc/loadavg");
  std::string oneMinute;
  return load >> oneMinute ? oneMinute : "unknown";
}

double Millis(SpawnedProcess::Clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}
} // namespace

MaskRunner::MaskRunner(const BenchOptions &benchOptions, std::ostream &runRecords,
                       std::ostream &progressOut)
    : options(benchOptions), runs(runRecords), progress(progressOut) {
  const std::string base = "/tmp/CoreFxPipe_skellan-bench-" + std::to_string(getpid());
  // The coloured log only shows what the mask costs where it works: a
  // quarter of the others' size keeps the full run short.
  const struct {
    const char *name;
    const char *label;
    std::size_t share;
    bool shownAsSent;
  } streams[] = {{"plain", "plain text", 1, true},
                 {"utf8", "UTF-8 text", 1, true},
                 {"coloured", "coloured log", 4, false}};
  for (const auto &kind : streams) {
    const std::uint64_t bytes = options.streamBytes / kind.share;
    const std::size_t index = report.AddWorkload(std::string(kind.label) + ", " + SizeText(bytes),
                                                 "ms/GiB", double(1u << 30) / double(bytes));
    workloads.push_back(Workload{kind.name,
                                 {"--stream", std::to_string(bytes), "--text", kind.name},
                                 base + "-" + kind.name,
                                 bytes,
                                 kind.shownAsSent,
                                 index});
  }
  const std::size_t count = options.shortMessages;
  const std::size_t index = report.AddWorkload(
      std::to_string(count) + " x " + std::to_string(BenchOptions::shortMessageBytes) + " B",
      "ms/M", 1e6 / double(count));
  workloads.push_back(Workload{"messages",
                               {"--messages", std::to_string(count), "--message-bytes",
                                std::to_string(BenchOptions::shortMessageBytes)},
                               base + "-messages",
                               std::uint64_t(count) * BenchOptions::shortMessageBytes,
                               true,
                               index});
}

MaskRunner::~MaskRunner() {
  servers.clear();
  // A server removes its socket when it ends by itself, not when killed.
  for (const Workload &workload : workloads)
    unlink(workload.path.c_str());
}

MaskRunner::Clock::time_point MaskRunner::Deadline() const {
  return Clock::now() + std::chrono::seconds(options.timeoutSeconds);
}

MaskReport MaskRunner::Run() {
  runs << "round,workload,run,user_ms,system_ms,wall_ms,output_bytes\n";
  for (const Workload &workload : workloads)
    StartServer(workload);
  report.NoteLoad(LoadAverage());
  for (std::size_t round = 0; round < options.maskRounds; ++round) {
    progress << "mask round " << round + 1 << "/" << options.maskRounds << ":" << std::flush;
    for (const Workload &workload : workloads) {
      progress << " " << workload.name << std::flush;
      for (int i = 0; i < MaskReport::Runs; ++i) {
        const auto run = static_cast<MaskReport::Run>((round + i) % MaskReport::Runs);
        report.Add(workload.index, run, RunOnce(workload, run, round));
      }
    }
    progress << "\n";
  }
  report.NoteLoad(LoadAverage());
  // Each ends at the end of its input.
  for (const auto &server : servers)
    server->CloseInput();
  for (const auto &server : servers)
    server->WaitForExit(Clock::now() + serverStopTime);
  servers.clear();
  return report;
}

void MaskRunner::StartServer(const Workload &workload) {
  std::vector<std::string> command{options.feedProgram};
  command.insert(command.end(), workload.serverOptions.begin(), workload.serverOptions.end());
  command.push_back(workload.path);
  servers.emplace_back(new SpawnedProcess(command));
  ConsoleDriver driver(*servers.back());
  std::string first;
  if (!driver.ReadLine(first, Deadline()) || first != "listening " + workload.path)
    throw std::runtime_error("the feeding server " + options.feedProgram +
                             " did not start listening on " + workload.path);
}

MaskReport::Times MaskRunner::RunOnce(const Workload &workload, MaskReport::Run run,
                                      std::size_t round) {
  const bool skellan = run == MaskReport::SkellanPipe || run == MaskReport::SkellanTerminal;
  const bool terminal = run == MaskReport::SkellanTerminal || run == MaskReport::BareTerminal;
  const ClientProfile client = skellan
                                   ? ClientProfile::Skellan(options.clientProgram, workload.path)
                                   : ClientProfile::Bare(options.bareProgram, workload.path);
  const std::string what = std::string(MaskReport::Name(run)) + ", " + workload.name + ": ";
  auto check = [&what](bool ok, const std::string &failure) {
    if (!ok)
      throw std::runtime_error(what + failure);
  };

  std::unique_ptr<PseudoTerminal> screen;
  if (terminal)
    screen.reset(new PseudoTerminal());
  const Clock::time_point start = Clock::now();
  SpawnedProcess process(client.command, terminal ? screen->Slave() : -1, clientEnvironment);
  if (terminal)
    screen->CloseSlave();
  OutputTally output(terminal ? screen->Master() : process.Output());
  // A line this short always fits into an empty pipe.
  const bool typed = client.connect.empty() ||
                     write(process.Input(), client.connect.data(), client.connect.size()) ==
                         ssize_t(client.connect.size());
  check(typed, "it took no input");
  check(output.UntilMark(Deadline()), "the end of the workload was not shown");
  const Clock::time_point shown = Clock::now();
  // The server has closed the connection by now: the client leaves at once.
  process.CloseInput();
  check(output.UntilEnd(Deadline()), "its output did not end");
  check(process.WaitForExit(Deadline()), "it did not exit");
  check(process.ExitCode() == 0, "it exited with status " + std::to_string(process.ExitCode()));
  const std::uint64_t expected = workload.bytes + (skellan ? connectedText : 0);
  const bool exact = workload.shownAsSent || !(skellan && terminal);
  check(exact ? output.Unframed() == expected : output.Unframed() >= expected,
        "it showed " + std::to_string(output.Unframed()) + " bytes of text, not " +
            (exact ? "" : "at least ") + std::to_string(expected));

  MaskReport::Times times;
  times.userMs = process.UserSeconds() * 1e3;
  times.systemMs = process.SystemSeconds() * 1e3;
  times.wallMs = Millis(shown - start);
  runs << round + 1 << "," << workload.name << "," << MaskReport::Name(run) << "," << times.userMs
       << "," << times.systemMs << "," << times.wallMs << "," << output.Bytes() << "\n";
  return times;
}
