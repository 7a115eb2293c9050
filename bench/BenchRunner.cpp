#include "BenchRunner.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ostream>
#include <stdexcept>
#include <unistd.h>
#include <utility>

namespace {
// The calls of a traced run with round trips less those of one without,
// per round trip.
void PerRoundTrip(const std::map<std::string, std::uint64_t> &busy,
                  const std::map<std::string, std::uint64_t> &idle,
                  std::map<std::string, double> &perTrip) {
  for (const auto &call : busy)
    perTrip[call.first] += static_cast<double>(call.second);
  for (const auto &call : idle)
    perTrip[call.first] -= static_cast<double>(call.second);
  for (auto &call : perTrip)
    call.second /= BenchOptions::tracedRoundTrips;
}

// How long the server gets to end by itself once its input is closed.
constexpr std::chrono::seconds serverStopTime(5);

// A line of the given number of characters and its line feed. Letters and
// digits only, so that no client reads a command, a NUL or a carriage
// return in it.
std::string MakeLine(std::size_t characters) {
  static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string text;
  text.reserve(characters + 1);
  for (std::size_t i = 0; i < characters; ++i)
    text += alphabet[i % (sizeof alphabet - 1)];
  text += '\n';
  return text;
}

double Micros(std::chrono::steady_clock::duration duration) {
  return std::chrono::duration<double, std::micro>(duration).count();
}

std::string SizeText(std::size_t bytes) {
  return bytes % 1024 == 0 ? std::to_string(bytes / 1024) + " KiB" : std::to_string(bytes) + " B";
}
} // namespace

BenchRunner::BenchRunner(const BenchOptions &benchOptions, std::ostream &runRecords,
                         std::ostream &progressOut)
    : options(benchOptions), runs(runRecords), progress(progressOut),
      // Paths, not plain names: every client then finds the sockets whatever TMPDIR says.
      socketPath("/tmp/CoreFxPipe_skellan-bench-" + std::to_string(getpid())),
      oncePath(socketPath + "-once"), stayPath(socketPath + "-stay"),
      line(MakeLine(options.lineBytes)), bigLine(MakeLine(options.messageBytes)) {
  for (const std::string &name : options.clients)
    clients.push_back(ClientProfile::For(name, Program(name), socketPath));
}

BenchRunner::~BenchRunner() {
  servers.clear();
  // A server removes its socket when it ends by itself, not when killed.
  for (const std::string *path : {&socketPath, &oncePath, &stayPath})
    unlink(path->c_str());
}

const std::string &BenchRunner::Program(const std::string &client) const {
  if (client == "skellan")
    return options.clientProgram;
  return client == "socat" ? options.socatProgram : options.bareProgram;
}

BenchRunner::Clock::time_point BenchRunner::Deadline() const {
  return Clock::now() + std::chrono::seconds(options.timeoutSeconds);
}

void BenchRunner::Check(bool ok, const ClientProfile &client, const char *test,
                        const std::string &what) {
  if (!ok)
    throw std::runtime_error(client.name + ", " + test + ": " + what);
}

ResultTable BenchRunner::Run() {
  runs << "round,client,test,count,median,p99,unit,cpu_ms,peak_rss_kib\n";
  StartServer("", socketPath);
  StartServer("--once", oncePath);
  StartServer("--stay", stayPath);
  using Test = void (BenchRunner::*)(const ClientProfile &, std::size_t);
  const std::pair<const char *, Test> tests[] = {{"round trips", &BenchRunner::RoundTrips},
                                                 {"throughput", &BenchRunner::Throughput},
                                                 {"start to exit", &BenchRunner::StartToExit},
                                                 {"end of a script", &BenchRunner::ScriptEnd}};
  for (std::size_t round = 0; round < options.rounds; ++round) {
    progress << "round " << round + 1 << "/" << options.rounds << ":" << std::flush;
    for (const auto &test : tests) {
      progress << " " << test.first << std::flush;
      for (std::size_t i = 0; i < clients.size(); ++i)
        (this->*test.second)(clients[(round + i) % clients.size()], round);
    }
    progress << "\n";
  }
  if (options.strace) {
    progress << "system calls under strace:" << std::flush;
    for (const ClientProfile &client : clients) {
      progress << " " << client.name << std::flush;
      SystemCalls(client);
    }
    progress << "\n";
  }
  StopServers();
  return Summary();
}

void BenchRunner::StartServer(const std::string &ending, const std::string &path) {
  std::vector<std::string> command{options.serverProgram, path};
  if (!ending.empty())
    command.insert(command.begin() + 1, ending);
  servers.emplace_back(new SpawnedProcess(command));
  ConsoleDriver driver(*servers.back());
  std::string first;
  if (!driver.ReadLine(first, Deadline()) || first != "listening " + path)
    throw std::runtime_error("the echo server " + options.serverProgram +
                             " did not start listening on " + path);
}

void BenchRunner::StopServers() {
  // Each ends at the end of its input.
  for (const auto &server : servers)
    server->CloseInput();
  for (const auto &server : servers)
    server->WaitForExit(Clock::now() + serverStopTime);
  servers.clear();
}

void BenchRunner::End(const ClientProfile &client, const char *test, SpawnedProcess &process,
                      ConsoleDriver &driver, std::uint64_t expectedOutput) {
  Check(driver.Finish(Deadline()), client, test, "its output did not end");
  Check(process.WaitForExit(Deadline()), client, test, "it did not exit");
  Check(process.ExitCode() == 0, client, test,
        "it exited with status " + std::to_string(process.ExitCode()));
  Check(driver.OutputBytes() == expectedOutput, client, test,
        "it wrote " + std::to_string(driver.OutputBytes()) + " bytes, not " +
            std::to_string(expectedOutput));
}

void BenchRunner::RoundTrips(const ClientProfile &client, std::size_t round) {
  const char *test = "round trip";
  SpawnedProcess process(client.command);
  ConsoleDriver driver(process);
  std::uint64_t expected = client.connectOutput;
  Check(driver.Exchange(client.connect, 1, expected, Deadline()), client, test, "no connection");
  SampleSet samples;
  const double cpuBefore = process.CpuSecondsSoFar();
  for (std::size_t i = 0; i < options.roundTrips; ++i) {
    expected += client.OutputPerLine(line.size());
    const Clock::time_point deadline = Deadline();
    const Clock::time_point start = Clock::now();
    const bool answered = driver.Exchange(line, 1, expected, deadline);
    const Clock::time_point stop = Clock::now();
    Check(answered, client, test, "no echo for line " + std::to_string(i + 1));
    Check(driver.Recent().find(line) != std::string::npos, client, test,
          "the echo of line " + std::to_string(i + 1) + " is not the line sent");
    samples.Add(Micros(stop - start));
  }
  const double cpuUsed = process.CpuSecondsSoFar() - cpuBefore;
  End(client, test, process, driver, expected);

  Figures &mine = figures[client.name];
  mine.roundTripMicros.Add(samples);
  mine.roundTripCpuMicros.Add(cpuUsed * 1e6 / options.roundTrips);
  mine.peakRssKiB.Add(process.PeakRssKiB());
  Record(round, client, test, samples.Size(), samples.Median(), samples.Percentile(99), "us",
         cpuUsed * 1e3, process.PeakRssKiB());
}

void BenchRunner::Throughput(const ClientProfile &client, std::size_t round) {
  const char *test = "throughput";
  SpawnedProcess process(client.command);
  ConsoleDriver driver(process);
  std::uint64_t expected = client.connectOutput;
  Check(driver.Exchange(client.connect, 1, expected, Deadline()), client, test, "no connection");
  expected += options.messages * client.OutputPerLine(bigLine.size());
  const Clock::time_point deadline = Deadline();
  const double cpuBefore = process.CpuSecondsSoFar();
  const Clock::time_point start = Clock::now();
  const bool echoed = driver.Exchange(bigLine, options.messages, expected, deadline);
  const Clock::time_point stop = Clock::now();
  const double cpuUsed = process.CpuSecondsSoFar() - cpuBefore;
  Check(echoed, client, test, "not all echoes came back");
  End(client, test, process, driver, expected);

  const double megabytes = static_cast<double>(options.messages) * bigLine.size() / 1e6;
  const double rate = megabytes / (Micros(stop - start) / 1e6);
  Figures &mine = figures[client.name];
  mine.throughputMBps.Add(rate);
  mine.throughputCpuMillis.Add(cpuUsed * 1e3);
  mine.peakRssKiB.Add(process.PeakRssKiB());
  Record(round, client, test, options.messages, rate, std::nan(""), "MB/s", cpuUsed * 1e3,
         process.PeakRssKiB());
}

void BenchRunner::StartToExit(const ClientProfile &measured, std::size_t round) {
  const char *test = "start to exit";
  // Its server closes the connection after the echo, so that a client that
  // waits for a quiet server at the end of its input leaves at once.
  const ClientProfile client = ClientProfile::For(measured.name, Program(measured.name), oncePath);
  // The whole input at once: skellan reads and acts on one line at a time.
  const std::string input = client.connect + line;
  const std::uint64_t expected = client.connectOutput + client.OutputPerLine(line.size());
  SampleSet samples;
  double cpuSeconds = 0;
  long peakRss = 0;
  for (std::size_t i = 0; i < options.startups; ++i) {
    const Clock::time_point deadline = Deadline();
    const Clock::time_point start = Clock::now();
    SpawnedProcess process(client.command);
    ConsoleDriver driver(process);
    Check(driver.Exchange(input, 1, expected, deadline), client, test, "no echo");
    End(client, test, process, driver, expected);
    samples.Add(Micros(Clock::now() - start) / 1e3);
    cpuSeconds += process.CpuSeconds();
    peakRss = std::max(peakRss, process.PeakRssKiB());
  }
  Figures &mine = figures[client.name];
  mine.startToExitMillis.Add(samples);
  mine.peakRssKiB.Add(static_cast<double>(peakRss));
  Record(round, client, test, samples.Size(), samples.Median(), samples.Percentile(99), "ms",
         cpuSeconds * 1e3, peakRss);
}

void BenchRunner::ScriptEnd(const ClientProfile &measured, std::size_t round) {
  const char *test = "end of a script";
  const ClientProfile client = ClientProfile::For(measured.name, Program(measured.name), stayPath);
  // A script's whole input, which ends right after the line: what comes
  // then is up to the client.
  const std::string input = client.connect + line;
  const std::uint64_t withEcho = client.connectOutput + client.OutputPerLine(line.size());
  const std::uint64_t withoutEcho = withEcho - client.EchoOutput(line.size());
  Figures &mine = figures[client.name];
  SampleSet samples;
  double cpuSeconds = 0;
  long peakRss = 0;
  for (std::size_t i = 0; i < options.scriptEnds; ++i) {
    const Clock::time_point deadline = Deadline();
    const Clock::time_point start = Clock::now();
    SpawnedProcess process(client.command);
    ConsoleDriver driver(process);
    Check(driver.Exchange(input, 1, 0, deadline), client, test, "it took no input");
    Check(driver.Finish(deadline), client, test, "its output did not end");
    Check(process.WaitForExit(deadline), client, test, "it did not exit");
    samples.Add(Micros(Clock::now() - start) / 1e3);
    Check(process.ExitCode() == 0, client, test,
          "it exited with status " + std::to_string(process.ExitCode()));
    // A client that leaves before the echo is back shows all but the echo.
    const bool echoed =
        driver.OutputBytes() == withEcho && driver.Recent().find(line) != std::string::npos;
    Check(echoed || driver.OutputBytes() == withoutEcho, client, test,
          "it wrote " + std::to_string(driver.OutputBytes()) + " bytes, not " +
              std::to_string(withEcho) + " (or " + std::to_string(withoutEcho) +
              " without the echo)");
    ++mine.scriptEnds;
    mine.scriptEchoes += echoed ? 1 : 0;
    cpuSeconds += process.CpuSeconds();
    peakRss = std::max(peakRss, process.PeakRssKiB());
  }
  mine.scriptEndMillis.Add(samples);
  mine.peakRssKiB.Add(static_cast<double>(peakRss));
  Record(round, client, test, samples.Size(), samples.Median(), samples.Percentile(99), "ms",
         cpuSeconds * 1e3, peakRss);
}

void BenchRunner::SystemCalls(const ClientProfile &client) {
  const StraceSummary idle = Traced(client, 0);
  const StraceSummary busy = Traced(client, BenchOptions::tracedRoundTrips);
  Figures &mine = figures[client.name];
  PerRoundTrip(busy.Calls(), idle.Calls(), mine.callsPerRoundTrip);
  PerRoundTrip(busy.Failures(), idle.Failures(), mine.failuresPerRoundTrip);
}

StraceSummary BenchRunner::Traced(const ClientProfile &client, std::size_t roundTrips) {
  const char *test = "system calls";
  const std::string summary =
      options.outDir + "/strace-" + client.name + "-" + std::to_string(roundTrips) + ".txt";
  // -f: every thread and child the client starts; -q: no notes of strace's
  // own among the client's output.
  std::vector<std::string> command{options.straceProgram, "-f", "-c", "-q", "-o", summary, "--"};
  command.insert(command.end(), client.command.begin(), client.command.end());
  SpawnedProcess process(command);
  ConsoleDriver driver(process);
  std::uint64_t expected = client.connectOutput;
  Check(driver.Exchange(client.connect, 1, expected, Deadline()), client, test, "no connection");
  for (std::size_t i = 0; i < roundTrips; ++i) {
    expected += client.OutputPerLine(line.size());
    Check(driver.Exchange(line, 1, expected, Deadline()), client, test,
          "no echo for line " + std::to_string(i + 1));
  }
  End(client, test, process, driver, expected);
  return StraceSummary(summary);
}

void BenchRunner::Record(std::size_t round, const ClientProfile &client, const char *test,
                         std::size_t count, double median, double p99, const char *unit,
                         double cpuMillis, long peakRssKiB) {
  runs << round + 1 << "," << client.name << "," << test << "," << count << "," << median << ",";
  if (!std::isnan(p99))
    runs << p99;
  runs << "," << unit << "," << cpuMillis << "," << peakRssKiB << "\n";
}

ResultTable BenchRunner::Summary() const {
  ResultTable table(options.clients);
  auto column = [this](double (*pick)(const Figures &)) {
    std::map<std::string, double> values;
    for (const auto &entry : figures)
      values[entry.first] = pick(entry.second);
    return values;
  };
  table.Add("round trip median", "us", true,
            column([](const Figures &f) { return f.roundTripMicros.Median(); }));
  table.Add("round trip p99", "us", true,
            column([](const Figures &f) { return f.roundTripMicros.Percentile(99); }));
  table.Add("CPU time per round trip", "us", true,
            column([](const Figures &f) { return f.roundTripCpuMicros.Median(); }));
  table.Add("throughput " + std::to_string(options.messages) + " x " +
                SizeText(options.messageBytes),
            "MB/s", false, column([](const Figures &f) { return f.throughputMBps.Median(); }));
  table.Add("CPU time of a throughput run", "ms", true,
            column([](const Figures &f) { return f.throughputCpuMillis.Median(); }));
  table.Add("start to exit median", "ms", true,
            column([](const Figures &f) { return f.startToExitMillis.Median(); }));
  table.Add("end of a script median", "ms", true,
            column([](const Figures &f) { return f.scriptEndMillis.Median(); }));
  table.Add("echo shown at a script's end", "%", false, column([](const Figures &f) {
              return 100.0 * static_cast<double>(f.scriptEchoes) /
                     static_cast<double>(f.scriptEnds);
            }));
  table.Add("peak resident memory", "KiB", true,
            column([](const Figures &f) { return f.peakRssKiB.Max(); }));
  if (options.strace)
    AddSystemCalls(table);
  return table;
}

void BenchRunner::AddSystemCalls(ResultTable &table) const {
  // Calls that no client makes this often per round trip are left out.
  constexpr double shownFrom = 0.05;
  std::map<std::string, double> totals;
  // The most often any client makes each call that is shown.
  std::map<std::string, double> most;
  for (const auto &entry : figures) {
    for (const auto &call : entry.second.callsPerRoundTrip) {
      totals[entry.first] += call.second;
      if (std::fabs(call.second) >= shownFrom)
        most[call.first] = std::max(most[call.first], call.second);
    }
  }
  table.Add("system calls per round trip", "calls", true, totals);
  std::vector<std::pair<double, std::string>> order;
  for (const auto &call : most)
    order.emplace_back(-call.second, call.first);
  std::sort(order.begin(), order.end());
  auto column = [this](const std::string &name, std::map<std::string, double> Figures::*counts) {
    std::map<std::string, double> values;
    bool shown = false;
    for (const auto &entry : figures) {
      const std::map<std::string, double> &perTrip = entry.second.*counts;
      const auto found = perTrip.find(name);
      values[entry.first] = found != perTrip.end() ? found->second : 0;
      shown = shown || std::fabs(values[entry.first]) >= shownFrom;
    }
    return shown ? values : std::map<std::string, double>();
  };
  for (const auto &call : order) {
    table.Add("  " + call.second, "calls", true, column(call.second, &Figures::callsPerRoundTrip));
    const std::map<std::string, double> failed =
        column(call.second, &Figures::failuresPerRoundTrip);
    if (!failed.empty())
      table.Add("  " + call.second + ", failed", "calls", true, failed);
  }
}
