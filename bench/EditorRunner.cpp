#include "EditorRunner.h"

#include "ConsoleDriver.h"
#include "PseudoTerminal.h"
#include "TypingDriver.h"

#include <fstream>
#include <ostream>
#include <stdexcept>
#include <unistd.h>

namespace {
// How long the server gets to end by itself once its input is closed.
constexpr std::chrono::seconds serverStopTime(5);
// The editor then judges its input as UTF-8, whatever the benchmark's own
// locale.
const std::vector<std::string> clientEnvironment{"LC_ALL=C.UTF-8"};
const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t alphabetSize = sizeof alphabet - 1;
// The long line's last character, and nowhere else in what is typed or
// shown.
const std::string mark = "~";
const std::string pasteStart = "\x1b[200~";
const std::string pasteEnd = "\x1b[201~";
const std::string up = "\x1b[A";
const std::string ctrlD = "\x04";

std::string LongLine(std::size_t characters) {
  std::string text;
  text.reserve(characters);
  for (std::size_t i = 0; i + 1 < characters; ++i)
    text += alphabet[i % alphabetSize];
  return text + mark;
}

std::string LoadAverage() {
  std::ifstream load("/proc/loadavg");
  std::string oneMinute;
  return load >> oneMinute ? oneMinute : "unknown";
}

double Millis(SpawnedProcess::Clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

std::string SizeText(std::size_t characters) {
  if (characters % (1u << 20) == 0)
    return std::to_string(characters >> 20) + " MiB";
  if (characters % 1024 == 0)
    return std::to_string(characters >> 10) + " KiB";
  return std::to_string(characters) + " B";
}
} // namespace

const char *EditorRunner::Name(Kind kind) {
  static const char *const names[] = {"line-keys",       "line-recall", "lines-keys",
                                      "lines-bracketed", "plain-line",  "plain-lines"};
  return names[kind];
}

EditorRunner::EditorRunner(const BenchOptions &benchOptions, std::ostream &runRecords,
                           std::ostream &progressOut)
    : options(benchOptions), runs(runRecords), progress(progressOut),
      path("/tmp/CoreFxPipe_skellan-bench-" + std::to_string(getpid()) + "-count"),
      line(LongLine(options.editorLineBytes)),
      report("a " + SizeText(options.editorLineBytes) + " line",
             std::to_string(options.editorLines) + " lines of " +
                 std::to_string(options.editorShortBytes) + " B") {}

EditorRunner::~EditorRunner() {
  server.reset();
  // A server removes its socket when it ends by itself, not when killed.
  unlink(path.c_str());
}

EditorRunner::Clock::time_point EditorRunner::Deadline() const {
  return Clock::now() + std::chrono::seconds(options.timeoutSeconds);
}

std::string EditorRunner::Lines(const std::string &end) const {
  std::string text;
  text.reserve(options.editorLines * (options.editorShortBytes + end.size()));
  for (std::size_t i = 0; i < options.editorLines; ++i) {
    // Each line differs from the one before, as a log's lines do.
    for (std::size_t c = 0; c < options.editorShortBytes; ++c)
      text += alphabet[(i + c) % alphabetSize];
    text += end;
  }
  return text;
}

EditorReport EditorRunner::Run() {
  runs << "round,run,step,wall_ms,cpu_ms,peak_rss_kib\n";
  server.reset(new SpawnedProcess({options.serverProgram, "--count", path}));
  ConsoleDriver listening(*server);
  std::string first;
  if (!listening.ReadLine(first, Deadline()) || first != "listening " + path)
    throw std::runtime_error("the counting server " + options.serverProgram +
                             " did not start listening on " + path);
  report.NoteLoad(LoadAverage());
  for (std::size_t round = 0; round < options.editorRounds; ++round) {
    progress << "editor round " << round + 1 << "/" << options.editorRounds << ":" << std::flush;
    for (int i = 0; i < Kinds; ++i) {
      const Kind kind = static_cast<Kind>((round + i) % Kinds);
      progress << " " << Name(kind) << std::flush;
      RunOnce(kind, round);
    }
    progress << "\n";
  }
  report.NoteLoad(LoadAverage());
  server->CloseInput();
  server->WaitForExit(Clock::now() + serverStopTime);
  server.reset();
  return report;
}

void EditorRunner::RunOnce(Kind kind, std::size_t round) {
  const bool editor = kind < PlainLine;
  const std::string what = std::string(Name(kind)) + ": ";
  auto check = [&what](bool ok, const std::string &failure) {
    if (!ok)
      throw std::runtime_error(what + failure);
  };
  // The plain road's output goes to a terminal too, as `cat FILE | skellan`
  // on a terminal has it.
  PseudoTerminal screen;
  const Clock::time_point started = Clock::now();
  SpawnedProcess client({options.clientProgram}, screen.Slave(), clientEnvironment,
                        editor ? screen.Slave() : -1);
  screen.CloseSlave();
  TypingDriver driver(editor ? screen.Master() : client.Input(), screen.Master(), server->Output());
  const std::string enter = editor ? "\r" : "\n";
  // Typed before the editor has set the terminal raw, keys would be echoed.
  check(!editor || driver.UntilShown("$ ", Deadline()), "no prompt came");
  driver.Type("connect " + path + enter);
  check(driver.UntilShown("OK Connected\n", Deadline()) && driver.UntilShown("$ ", Deadline()),
        "it did not connect");

  const std::uint64_t lineMessage = line.size() + 1;
  const std::size_t count = options.editorLines;
  const std::uint64_t linesBytes = std::uint64_t(count) * (options.editorShortBytes + 1);
  switch (kind) {
  case LineKeys:
    Record(round, kind, EditorReport::LineAsKeys,
           Timed(client, driver, line + enter, 1, lineMessage, what + "the line"));
    break;
  case LineRecall: {
    Record(round, kind, EditorReport::LineBracketed,
           Timed(client, driver, pasteStart + line + enter + pasteEnd, 1, lineMessage,
                 what + "the line"));
    // The first line feed since the connect's reply ends the line's row
    // (whether or not its end was drawn), and the next row is the new
    // line's: the next mark shown is the recalled line's.
    check(driver.UntilShown("\n", Deadline()), "the line's row was not left");
    const double cpu = client.CpuSecondsSoFar();
    const Clock::time_point start = Clock::now();
    driver.Type(up);
    check(driver.UntilShown(mark, Deadline()), "Up did not show the line");
    EditorReport::Times times;
    times.wallMs = Millis(Clock::now() - start);
    times.cpuMs = (client.CpuSecondsSoFar() - cpu) * 1e3;
    Record(round, kind, EditorReport::RecallDrawn, times);
    driver.Type(enter);
    check(driver.UntilReceived(2, Deadline()), "the recalled line did not reach the server");
    check(driver.ReceivedBytes() == 2 * lineMessage, "the server got other bytes than sent");
    times.wallMs = Millis(Clock::now() - start);
    times.cpuMs = (client.CpuSecondsSoFar() - cpu) * 1e3;
    Record(round, kind, EditorReport::RecallSent, times);
    break;
  }
  case LinesKeys:
    Record(round, kind, EditorReport::LinesAsKeys,
           Timed(client, driver, Lines(enter), count, linesBytes, what + "the lines"));
    break;
  case LinesBracketed:
    Record(round, kind, EditorReport::LinesBracketed,
           Timed(client, driver, pasteStart + Lines(enter) + pasteEnd, count, linesBytes,
                 what + "the lines"));
    break;
  case PlainLine:
    Record(round, kind, EditorReport::PlainLine,
           Timed(client, driver, line + enter, 1, lineMessage, what + "the line"));
    break;
  case PlainLines:
    Record(round, kind, EditorReport::PlainLines,
           Timed(client, driver, Lines(enter), count, linesBytes, what + "the lines"));
    break;
  case Kinds:
    break;
  }

  // Ctrl-D on the empty line ends the editor's input as the end of a pipe
  // ends the plain road's.
  if (editor)
    driver.Type(ctrlD);
  else
    client.CloseInput();
  check(driver.UntilEnd(Deadline()), "its output did not end");
  check(client.WaitForExit(Deadline()), "it did not exit");
  check(client.ExitCode() == 0, "it exited with status " + std::to_string(client.ExitCode()));
  if (kind == LineKeys || kind == LineRecall || kind == PlainLine)
    report.AddPeakRss(editor, client.PeakRssKiB());
  runs << round + 1 << "," << Name(kind) << ",whole run," << Millis(Clock::now() - started) << ","
       << client.CpuSeconds() * 1e3 << "," << client.PeakRssKiB() << "\n";
}

EditorReport::Times EditorRunner::Timed(SpawnedProcess &client, TypingDriver &driver,
                                        const std::string &input, std::size_t messages,
                                        std::uint64_t bytes, const std::string &what) {
  const double cpu = client.CpuSecondsSoFar();
  const Clock::time_point start = Clock::now();
  driver.Type(input);
  if (!driver.UntilReceived(messages, Deadline()))
    throw std::runtime_error(what +
                             " did not reach the server: " + std::to_string(driver.Received()) +
                             " of " + std::to_string(messages) + " messages came");
  EditorReport::Times times;
  times.wallMs = Millis(Clock::now() - start);
  times.cpuMs = (client.CpuSecondsSoFar() - cpu) * 1e3;
  if (driver.ReceivedBytes() != bytes)
    throw std::runtime_error(what + ": the server got " + std::to_string(driver.ReceivedBytes()) +
                             " bytes, not " + std::to_string(bytes));
  return times;
}

void EditorRunner::Record(std::size_t round, Kind kind, EditorReport::Step step,
                          const EditorReport::Times &times) {
  report.Add(step, times);
  runs << round + 1 << "," << Name(kind) << "," << EditorReport::Name(step) << "," << times.wallMs
       << "," << times.cpuMs << ",\n";
}
