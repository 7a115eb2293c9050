#include "BenchOptions.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace {
constexpr std::size_t maxMessageBytes = 4 * 1024 * 1024;
// A stream long enough to measure, and not one that takes an hour.
constexpr std::size_t minStreamBytes = 1024;
constexpr std::size_t maxStreamBytes = std::size_t(64) << 30;
} // namespace

BenchOptions::BenchOptions(std::string client, std::string server, std::string bare,
                           std::string feed, std::string out)
    : clientProgram(std::move(client)), serverProgram(std::move(server)),
      bareProgram(std::move(bare)), feedProgram(std::move(feed)), outDir(std::move(out)) {}

std::string BenchOptions::Usage() {
  return "usage: skellan-bench [options]\n"
         "Compares skellan with socat and a bare socket client against one echoing\n"
         "message pipe server, and writes the figures as CSV.\n"
         "  --rounds N          rounds; each runs every test for every client (5)\n"
         "  --round-trips N     round trips per client and round (2000)\n"
         "  --line-bytes N      characters of the round-trip line (32)\n"
         "  --messages N        messages per throughput run (1000)\n"
         "  --message-bytes N   characters of a throughput line (61440)\n"
         "  --startups N        start-to-exit runs per client and round (20)\n"
         "  --script-ends N     end-of-script runs per client and round (5)\n"
         "  --mask-rounds N     rounds of the mask's cost on a terminal, 0 for none (2)\n"
         "  --stream-bytes N    bytes of each text stream of the mask's cost (1073741824)\n"
         "  --short-messages N  32-byte messages of the mask's cost (1000000)\n"
         "  --editor-rounds N   rounds of the line editor's figures, 0 for none (3)\n"
         "  --editor-line-bytes N  characters of the editor's long line (1048576)\n"
         "  --editor-lines N    short lines pasted into the editor (20000)\n"
         "  --editor-short-bytes N  characters of each short line (30)\n"
         "  --editor-only       only the line editor's figures\n"
         "  --clients LIST      comma-separated, of skellan,socat,bare (all three)\n"
         "  --client PATH       the skellan to measure (this build's)\n"
         "  --socat PATH        the socat to run, or none (socat on PATH)\n"
         "  --out DIR           where the CSV files go (this program's folder)\n"
         "  --timeout SECONDS   limit on each single wait (60)\n"
         "  --strace            also count each client's system calls per round trip,\n"
         "                      under strace -f -c, over " +
         std::to_string(tracedRoundTrips) + " round trips\n  --help\n";
}

bool BenchOptions::Fail(const std::string &message) {
  error = message;
  return false;
}

bool BenchOptions::Count(const std::string &option, const std::string &text, std::size_t minimum,
                         std::size_t &value, std::size_t maximum) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
    return Fail(option + " needs a whole number, not '" + text + "'");
  errno = 0;
  unsigned long long parsed = std::strtoull(text.c_str(), nullptr, 10);
  if (errno != 0 || parsed < minimum || parsed > maximum)
    return Fail(option + " must be from " + std::to_string(minimum) + " to " +
                std::to_string(maximum));
  value = static_cast<std::size_t>(parsed);
  return true;
}

BenchOptions::Action BenchOptions::Parse(const std::vector<std::string> &args) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string &option = args[i];
    if (option == "--help" || option == "-h")
      return Action::ShowUsage;
    if (option == "--strace") {
      strace = true;
      continue;
    }
    if (option == "--editor-only") {
      editorOnly = true;
      continue;
    }
    if (i + 1 >= args.size()) {
      Fail(option.rfind("--", 0) == 0 ? option + " needs a value" : "unknown argument " + option);
      return Action::Fail;
    }
    const std::string &value = args[++i];
    bool ok = true;
    if (option == "--rounds")
      ok = Count(option, value, 1, rounds);
    else if (option == "--round-trips")
      ok = Count(option, value, 1, roundTrips);
    else if (option == "--line-bytes")
      ok = Count(option, value, 1, lineBytes);
    else if (option == "--messages")
      ok = Count(option, value, 1, messages);
    else if (option == "--message-bytes")
      ok = Count(option, value, 1, messageBytes) &&
           (messageBytes <= maxMessageBytes ||
            Fail("--message-bytes must be at most " + std::to_string(maxMessageBytes)));
    else if (option == "--startups")
      ok = Count(option, value, 1, startups);
    else if (option == "--script-ends")
      ok = Count(option, value, 1, scriptEnds);
    else if (option == "--mask-rounds")
      ok = Count(option, value, 0, maskRounds);
    else if (option == "--stream-bytes")
      ok = Count(option, value, minStreamBytes, streamBytes, maxStreamBytes);
    else if (option == "--short-messages")
      ok = Count(option, value, 1, shortMessages);
    else if (option == "--editor-rounds")
      ok = Count(option, value, 0, editorRounds);
    else if (option == "--editor-line-bytes")
      ok = Count(option, value, 1, editorLineBytes, maxMessageBytes);
    else if (option == "--editor-lines")
      ok = Count(option, value, 1, editorLines);
    else if (option == "--editor-short-bytes")
      ok = Count(option, value, 1, editorShortBytes, maxMessageBytes);
    else if (option == "--timeout")
      ok = Count(option, value, 1, timeoutSeconds);
    else if (option == "--client")
      clientProgram = value;
    else if (option == "--socat")
      socatProgram = value == "none" ? std::string() : value;
    else if (option == "--out")
      outDir = value;
    else if (option == "--clients") {
      clients.clear();
      std::istringstream list(value);
      std::string name;
      while (std::getline(list, name, ',')) {
        if (name != "skellan" && name != "socat" && name != "bare")
          ok = Fail("unknown client '" + name + "' (skellan, socat or bare)");
        else if (std::find(clients.begin(), clients.end(), name) == clients.end())
          clients.push_back(name);
      }
      if (ok && clients.empty())
        ok = Fail("--clients names none");
    } else {
      ok = Fail("unknown option " + option);
    }
    if (!ok)
      return Action::Fail;
  }
  if (editorOnly && editorRounds == 0) {
    Fail("--editor-only with --editor-rounds 0 leaves nothing to measure");
    return Action::Fail;
  }
  if (socatProgram.empty())
    clients.erase(std::remove(clients.begin(), clients.end(), "socat"), clients.end());
  if (clients.empty()) {
    Fail("no client left to measure");
    return Action::Fail;
  }
  return Action::Run;
}
