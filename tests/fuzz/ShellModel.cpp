#include "ShellModel.h"

namespace {
const std::string prompt = "\r$ ";
const std::string delimiters = " \t\n";

std::vector<std::string> Words(const std::string &line) {
  std::vector<std::string> words;
  std::string::size_type at = line.find_first_not_of(delimiters);
  while (at != std::string::npos) {
    std::string::size_type end = line.find_first_of(delimiters, at);
    words.push_back(line.substr(at, end == std::string::npos ? std::string::npos : end - at));
    at = end == std::string::npos ? end : line.find_first_not_of(delimiters, end);
  }
  return words;
}

// Command words match in any letter case; only ASCII letters have one in
// the C locale the shell runs in.
bool SameWord(const std::string &word, const char *command) {
  std::string::size_type i = 0;
  for (; i < word.size() && command[i] != '\0'; ++i) {
    char c = word[i];
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
    if (c != command[i])
      return false;
  }
  return i == word.size() && command[i] == '\0';
}
} // namespace

void ShellModel::Run(const std::string &input) {
  std::string::size_type at = 0;
  for (;;) {
    output += prompt;
    // The end of input acts as `exit`.
    if (at >= input.size()) {
      Execute("exit");
      return;
    }
    std::string::size_type end = input.find('\n', at);
    std::string line = input.substr(at, end == std::string::npos ? std::string::npos : end - at);
    at = end == std::string::npos ? input.size() : end + 1;
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    line = line.substr(0, line.find('\0'));
    if (!Execute(line))
      return;
  }
}

bool ShellModel::Execute(const std::string &line) {
  std::vector<std::string> words = Words(line);
  if (words.empty())
    return true;
  if (SameWord(words[0], "connect")) {
    std::size_t name = words.size() > 1 && words[1] == "-c" ? 2 : 1;
    if (name < words.size())
      Connect(words[name]);
    else
      Reply("ERROR The pipe name must be specified");
  } else if (SameWord(words[0], "close")) {
    Reply(connected ? "OK Connection closed" : "ERROR Not connected");
    connected = false;
  } else if (SameWord(words[0], "exit")) {
    connected = false;
    return false;
  } else if (!connected) {
    Reply("ERROR Not connected");
  } else if (faults.failedWrites > 0) {
    --faults.failedWrites;
    Reply("ERROR Cannot write to pipe");
  } else {
    sent.push_back(line + "\n");
  }
  return true;
}

void ShellModel::Connect(const std::string &name) {
  // Each try at the pipe uses up one scripted failure; without events no
  // try is made.
  bool opened = !faults.noEvents && faults.failedConnects == 0;
  if (!faults.noEvents && faults.failedConnects > 0)
    --faults.failedConnects;
  // A new connection replaces the old one even when it does not open.
  connected = opened;
  Reply(opened ? "OK Connected" : "ERROR Cannot connect to named pipe: " + name);
}

void ShellModel::Reply(const std::string &text) { output += text + "\n"; }
